{ Solver runtime: one run of a compiled problem, from the problem file through the time steps to trajectory and X out. }
unit KRVSOLVE;

{$MODE Delphi}

interface

uses
  KRVNEWT;

type
  TUserProc = procedure;

const
  ExitOk = 0;
  ExitRefused = 1;      { problem file missing, damaged, foreign or too large; bad time axis }
  ExitFailed = 2;       { singular block, no convergence, values out of range }
  ExitWriteError = 3;   { trajectory or X out could not be written }
  ExitInternal = 4;

{ Runs the problem's solver with the user unit's procedures and ends the
  program with the run's exit status. }
procedure KRVRUN(SystemM: TSystemProc; Report, Setup, TimeSet, ParSet,
  AddSet, UserBpr: TUserProc);

implementation

uses
  SysUtils, Math, KRVPROCS, KRVPRB, KRVTTR;

var
  Fmt: TFormatSettings;

function Num(X: DOUBLE): AnsiString;
begin
  Result := FloatToStrF(X, ffGeneral, 12, 0, Fmt);
end;

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

procedure Stop(Code: LONGINT; const Text: AnsiString);
begin
  WriteLn(Text);
  Halt(Code);
end;

function CheckTimeAxis(out Steps: LONGINT): BOOLEAN;
var
  Span: DOUBLE;
begin
  Steps := 0;
  Result := False;
  if IsNan(TSTART) or IsInfinite(TSTART) or IsNan(TEND) or IsInfinite(TEND)
    or IsNan(TSTEP) or IsInfinite(TSTEP) or not (TSTEP > 0.0) or (TEND < TSTART) then
    Exit;
  Span := (TEND - TSTART) / TSTEP;
  { A step count a rounding error short of a whole number counts as whole. }
  if not (Span < 1.0E8) then
    Exit;
  Steps := Trunc(Span + 1.0E-9);
  Result := True;
end;

procedure KRVRUN(SystemM: TSystemProc; Report, Setup, TimeSet, ParSet,
  AddSet, UserBpr: TUserProc);
var
  Prob: TPrbProblem;
  Detail, Name, PrbName, TtrName: AnsiString;
  Outcome: TPrbOutcome;
  Model: TNewtonModel;
  Count, K, JT, Steps, Every, Iterations: LONGINT;
  Values: array of SINGLE;
  XOut: array of DOUBLE;
  Ttr: TTtrWriter;
  Failure: AnsiString;
begin
  SetExceptionMask([exInvalidOp, exDenormalized, exZeroDivide, exOverflow,
    exUnderflow, exPrecision]);
  Fmt := DefaultFormatSettings;
  Fmt.DecimalSeparator := '.';
  try
    Name := ProblemName;
    PrbName := Name + '.PRB';
    WriteLn('Kravenor solver ', _CMPLABEL);
    Outcome := ReadProblem(PrbName, _YMAX + 1, Prob, Detail);
    PrbName := Prob.FileName;
    case Outcome of
      prbMissing:
        Stop(ExitRefused, 'Problem file ' + PrbName + ' not found or not readable; nothing written.');
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
    Setup;
    TimeSet;
    if not CheckTimeAxis(Steps) then
      Stop(ExitRefused, 'Bad time axis from TIMESET: TSTART=' + Num(TSTART) + ' TEND=' + Num(TEND)
        + ' TSTEP=' + Num(TSTEP) + ' (TSTEP must be above 0, TEND not below TSTART, at most 100000000 steps).'
        + ' Nothing written.');
    if not (NEWTONTOL > 0.0) or IsInfinite(NEWTONTOL) then
      Stop(ExitRefused, 'Bad NEWTONTOL from TIMESET: ' + Num(NEWTONTOL) + ' (it must be above 0). Nothing written.');
    if MAXITER < 1 then
      MAXITER := 1;

    WriteLn('Problem ', PrbName, ': ', Count, ' variables, ', Model.N, ' equations in ',
      Model.BlockCount, ' blocks, ', Model.SpikeCount, ' torn columns, ',
      Length(Prob.PairInteg), ' integrated or differentiated');
    WriteLn('Time ', Num(TSTART), ' to ', Num(TEND), ' step ', Num(TSTEP), ': ', Steps + 1, ' records');

    TtrName := ResolveCaseBlind(Name + '.TTR');
    if not TtrCreate(Ttr, TtrName, _CMPLABEL, Count) then
      Stop(ExitWriteError, 'Trajectory file ' + TtrName + ' could not be created.');

    SetLength(Values, Count);
    SetLength(XOut, Count);
    { The state before the first step is the "last step" of step 0. }
    Move(_Y[0], _Y2T[0], Count * SizeOf(XVR));
    Every := Steps div 20;
    if Every < 1 then
      Every := 1;
    for JT := 0 to Steps do
    begin
      _JT := JT;
      _T := TSTART + JT * TSTEP;
      if JT = 0 then
        _DTNOW := 0.0
      else
        _DTNOW := TSTEP;
      AddSet;
      Failure := NewtonSolveStep(Model, Iterations);
      if Failure = '' then
        Failure := NewtonRecord(Model, XOut);
      if Failure <> '' then
      begin
        TtrClose(Ttr);
        Stop(ExitFailed, Failure + ' at _JT=' + IntToStr(JT) + ', _T=' + Num(_T) + '. Stopped; '
          + IntToStr(JT) + ' records kept in ' + TtrName + ', problem file unchanged.');
      end;
      Report;
      for K := 0 to Count - 1 do
        Values[K] := XOut[K];
      if not TtrAppend(Ttr, JT, _T, Values) then
      begin
        TtrClose(Ttr);
        Stop(ExitWriteError, 'Writing record ' + IntToStr(JT) + ' of ' + TtrName + ' failed.');
      end;
      Move(_Y[0], _Y2T[0], Count * SizeOf(XVR));
      if (JT mod Every = 0) or (JT = Steps) then
        WriteLn('_JT=', JT, ' _T=', Num(_T), ': ', Iterations, ' iterations');
    end;
    TtrClose(Ttr);
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
