{ Solver runtime: one run of a compiled problem, from the problem file through the time steps to trajectory and X out; a least-squares fit when PARSET asked for one. }
unit KRVSOLVE;

{$MODE Delphi}

interface

uses
  KRVNEWT, KRVSTEP;

{ Runs the problem's solver with the user unit's procedures and ends the
  program with the run's exit status. }
procedure KRVRUN(SystemM: TSystemProc; Report, Setup, TimeSet, ParSet,
  AddSet, UserBpr: TUserProc);

implementation

uses
  SysUtils, Math, KRVPROCS, KRVPRB, KRVTTR, DPARPROC, KRVLSQ;

{ The problem name is the model name of the compile label (characters 22 on),
  which also names the variable map the viewer looks for. }
function ProblemName: AnsiString;
begin
  if Length(_CMPLABEL) >= 22 then
    Result := Trim(Copy(_CMPLABEL, 22, 17))
  else
    Result := '';
  if Result = '' then
    Result := ExtractFileName(ParamStr(0));
end;

procedure KRVRUN(SystemM: TSystemProc; Report, Setup, TimeSet, ParSet,
  AddSet, UserBpr: TUserProc);
var
  Prob: TPrbProblem;
  Detail, Why, Name, PrbName, TtrName: AnsiString;
  Outcome: TPrbOutcome;
  Model: TNewtonModel;
  Count, K, Steps, FailedAt: LONGINT;
  XOut: array of DOUBLE;
  Ttr: TTtrWriter;
begin
  SetExceptionMask([exInvalidOp, exDenormalized, exZeroDivide, exOverflow,
    exUnderflow, exPrecision]);
  try
    Name := ProblemName;
    PrbName := Name + '.PRB';
    WriteLn('Kravenor solver ', _CMPLABEL);
    Outcome := ReadProblem(PrbName, _YMAX + 1, Prob, Detail);
    PrbName := Prob.FileName;
    case Outcome of
      prbMissing:
        Stop(ExitRefused, 'Problem file ' + PrbName + ' not found or not readable (' + Detail + '); nothing written.');
      prbDamaged:
        Stop(ExitRefused, 'Problem file ' + PrbName + ' is damaged: ' + Detail + '; nothing written.');
      prbNoOrdering:
        Stop(ExitRefused, 'Problem file ' + PrbName + ' has no complete equation ordering (' + Detail
          + '); sequence the model again. Nothing written.');
      prbTooLarge:
        Stop(ExitRefused, 'Problem file ' + PrbName + ' holds ' + Detail + ' variables; this solver holds at most '
          + IntToStr(_YMAX + 1) + '. Nothing written.');
    end;
    if Prob.Labl <> _CMPLABEL then
      Stop(ExitRefused, 'Problem file ' + PrbName + ' belongs to another translation: its label is "'
        + Prob.Labl + '", this solver''s is "' + _CMPLABEL + '". Sequence and compile again. Nothing written.');

    Count := Length(Prob.Vars);
    for K := 0 to Count - 1 do
    begin
      _Y[K].I := Prob.Vars[K].XIn;
      _Y[K].O := Prob.Vars[K].XIn;
      _Y[K].D := False;
    end;
    Detail := NewtonPrepare(Model, Prob, SystemM);
    if Detail <> '' then
      Stop(ExitRefused, 'Problem file ' + PrbName + ' is damaged: ' + Detail + '; nothing written.');

    ParSet;
    if LsqRequested then
      LsqFit(Prob, Model, Name, Report, Setup, TimeSet, AddSet, UserBpr);

    Setup;
    TimeSet;
    if not CheckTimeAxis(Steps) then
      Stop(ExitRefused, 'Bad time axis from TIMESET: TSTART=' + Num(TSTART) + ' TEND=' + Num(TEND)
        + ' TSTEP=' + Num(TSTEP) + ' (TSTEP must be above 0, TEND not below TSTART, at most 100000000 steps).'
        + ' Nothing written.');
    Detail := NewtonTolFault;
    if Detail <> '' then
      Stop(ExitRefused, Detail + '. Nothing written.');
    if MAXITER < 1 then
      MAXITER := 1;

    WriteLn('Problem ', PrbName, ': ', Count, ' variables, ', Model.N, ' equations in ',
      Model.BlockCount, ' blocks, ', Model.SpikeCount, ' torn columns, ',
      Length(Prob.PairInteg), ' integrated or differentiated');
    WriteLn('Time ', Num(TSTART), ' to ', Num(TEND), ' step ', Num(TSTEP), ': ', Steps + 1, ' records');

    TtrName := ResolveCaseBlind(Name + '.TTR');
    if not TtrCreate(Ttr, TtrName, _CMPLABEL, Count, Why) then
      Stop(ExitWriteError, 'Trajectory file ' + TtrName + ' could not be created: ' + Why + '.');

    SetLength(XOut, Count);
    case RunSteps(Model, Steps, AddSet, Report, nil, @Ttr, True, XOut, FailedAt, Detail) of
      runFailed:
        begin
          { The records solved so far are the run's trajectory. }
          if not TtrCommit(Ttr, Why) then
            Stop(ExitWriteError, Detail + ' at _JT=' + IntToStr(FailedAt) + ', _T=' + Num(_T)
              + '. Stopped; writing ' + TtrName + ' failed: ' + Why + '. ' + TtrName
              + ' is left as it was, problem file unchanged.');
          Stop(ExitFailed, Detail + ' at _JT=' + IntToStr(FailedAt) + ', _T=' + Num(_T) + '. Stopped; '
            + IntToStr(FailedAt) + ' records kept in ' + TtrName + ', problem file unchanged.');
        end;
      runWriteFailed:
        begin
          TtrAbandon(Ttr);
          Stop(ExitWriteError, 'Writing record ' + IntToStr(FailedAt) + ' of ' + TtrName + ' failed: '
            + Detail + '. ' + TtrName + ' is left as it was, problem file unchanged.');
        end;
    end;
    if not TtrCommit(Ttr, Why) then
      Stop(ExitWriteError, 'Writing ' + TtrName + ' failed: ' + Why + '. ' + TtrName
        + ' is left as it was, problem file unchanged.');
    UserBpr;
    if not WriteXOut(Prob, XOut, Detail) then
      Stop(ExitWriteError, 'X out not written: problem file ' + PrbName + ': ' + Detail + '. '
        + IntToStr(Steps + 1) + ' records kept in ' + TtrName + '.');
    WriteLn('Finished: ', Steps + 1, ' records in ', TtrName, ', X out in ', PrbName, '; ',
      Model.FullRuns, ' runs of the whole model, ', Model.Jacobians, ' Jacobians of ', Model.Colours,
      ' column groups');
  except
    on E: Exception do
      Stop(ExitInternal, 'Solver stopped: ' + E.Message);
  end;
  Halt(ExitOk);
end;

end.
