{ Solver runtime: one run of the model over its time steps, shared by the plain run and the least-squares fit. }
unit KRVSTEP;

{$MODE Delphi}

interface

uses
  KRVNEWT, KRVTTR;

type
  TUserProc = procedure;

  { What a run does besides solving: after ADDSET of each step (a fit sets
    its inputs there), and with the values of each solved step. }
  TStepHooks = class
    procedure AfterAddSet; virtual;
    procedure Solved(JT: LONGINT; const Values: array of DOUBLE); virtual;
  end;

  TRunOutcome = (runOk, runFailed, runWriteFailed);

const
  ExitOk = 0;
  ExitRefused = 1;      { problem file missing, damaged, foreign or too large; bad time axis or NEWTONTOL }
  ExitFailed = 2;       { singular block, no convergence, values out of range }
  ExitWriteError = 3;   { trajectory, X out or data-series store could not be written }
  ExitInternal = 4;

{ Prints Text and ends the program with status Code. }
procedure Stop(Code: LONGINT; const Text: AnsiString);

{ A number for messages and reports, without the locale. }
function Num(X: DOUBLE): AnsiString;

{ The time axis TIMESET left: False when it is unusable; Steps is the last _JT. }
function CheckTimeAxis(out Steps: LONGINT): BOOLEAN;

{ What is wrong with the NEWTONTOL TIMESET left: '' when it is a number
  above 0 and finite (NaN, 0, below 0 and infinity are refused). }
function NewtonTolFault: AnsiString;

{ Solves steps 0..Steps from the current state, calling AddSet, the hooks
  (when given) and Report; writes each record into Ttr when given, and
  prints a progress line at every twentieth of the run when Verbose. XOut
  gets the values of the last solved step. On failure Detail says what
  failed and where, and FailedAt is the step; when the trajectory could not
  be written, Detail is the system's reason and FailedAt the first record
  not written. }
function RunSteps(var Model: TNewtonModel; Steps: LONGINT; AddSet, Report: TUserProc;
  Hooks: TStepHooks; Ttr: PTtrWriter; Verbose: BOOLEAN; var XOut: array of DOUBLE;
  out FailedAt: LONGINT; out Detail: AnsiString): TRunOutcome;

implementation

uses
  SysUtils, Math, KRVPROCS;

var
  Fmt: TFormatSettings;

procedure TStepHooks.AfterAddSet;
begin
end;

procedure TStepHooks.Solved(JT: LONGINT; const Values: array of DOUBLE);
begin
end;

procedure Stop(Code: LONGINT; const Text: AnsiString);
begin
  WriteLn(Text);
  Halt(Code);
end;

function Num(X: DOUBLE): AnsiString;
begin
  Result := FloatToStrF(X, ffGeneral, 12, 0, Fmt);
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

function NewtonTolFault: AnsiString;
begin
  { Written so that NaN fails: every comparison with it is false. }
  if (NEWTONTOL > 0.0) and not IsInfinite(NEWTONTOL) then
    Result := ''
  else
    Result := 'Bad NEWTONTOL from TIMESET: ' + Num(NEWTONTOL) + ' (it must be above 0)';
end;

function RunSteps(var Model: TNewtonModel; Steps: LONGINT; AddSet, Report: TUserProc;
  Hooks: TStepHooks; Ttr: PTtrWriter; Verbose: BOOLEAN; var XOut: array of DOUBLE;
  out FailedAt: LONGINT; out Detail: AnsiString): TRunOutcome;
var
  Count, K, JT, Every, Iterations: LONGINT;
  Values: array of SINGLE;
begin
  Count := Model.Count;
  SetLength(Values, Count);
  FailedAt := -1;
  Detail := '';
  { Every run starts with a fresh Jacobian, so that a run's result depends
    only on its parameters and start state, not on the run before it. }
  Model.Factored := False;
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
    if Hooks <> nil then
      Hooks.AfterAddSet;
    Detail := NewtonSolveStep(Model, Iterations);
    if Detail = '' then
      Detail := NewtonRecord(Model, XOut);
    if Detail <> '' then
    begin
      FailedAt := JT;
      Exit(runFailed);
    end;
    Report;
    if Hooks <> nil then
      Hooks.Solved(JT, XOut);
    if Ttr <> nil then
    begin
      for K := 0 to Count - 1 do
        Values[K] := XOut[K];
      if not TtrAppend(Ttr^, JT, _T, Values) then
      begin
        FailedAt := Ttr^.FailedAt;
        Detail := Ttr^.Error;
        Exit(runWriteFailed);
      end;
    end;
    Move(_Y[0], _Y2T[0], Count * SizeOf(XVR));
    if Verbose and ((JT mod Every = 0) or (JT = Steps)) then
      WriteLn('_JT=', JT, ' _T=', Num(_T), ': ', Iterations, ' iterations');
  end;
  Result := runOk;
end;

initialization
  Fmt := DefaultFormatSettings;
  Fmt.DecimalSeparator := '.';
end.
