{ Solver runtime: the least-squares fit that PARSET's markers ask for: the problem's series from the store, the runs, the search, the estimates, the report. }
unit KRVLSQ;

{ The fit minimises S(b) = sum over the observations of weight x (model -
  observed)^2. Without time series every observation index is a run of its
  own from the start state, its inputs' X in set to their values at that
  index, compared at the last step; with time series (DLSQSETUP) one run
  gives every observation, the inputs interpolated over time after ADDSET
  and the model interpolated between the records around each observation's
  time. Each run sets the parameters, then runs SETUP and TIMESET.

  Run kinds (Controls[0]): 0 one evaluation at Start; 1 Levenberg-Marquardt
  from Start with forward-difference sensitivities (p evaluations per
  iteration for the sensitivities, one per trial point, kept inside the
  bounds); 2 the best point of a grid over the ranges. A search that stops
  unconverged writes its best point and ends with status 2. }

{$MODE Delphi}

interface

uses
  KRVPRB, KRVNEWT, KRVSTEP;

{ Fits, writes the estimates, the report NAME.LSQ, the trajectory and X out
  of a last run at the estimates, and ends the program with its status. }
procedure LsqFit(var Prob: TPrbProblem; var Model: TNewtonModel; const Name: AnsiString;
  Report, Setup, TimeSet, AddSet, UserBpr: TUserProc);

implementation

uses
  SysUtils, Math, KRVPROCS, KRVFILE, KRVTTR, KRVDSF, DPARPROC;

const
  MaxBetas = 15;
  { Accepted steps of a search; one that needs more stops unconverged. }
  MaxIterations = 10000;
  MaxGridPoints = 100000;
  { The stopping tests, on the Gauss-Newton step from the point reached:
    the sum it predicts falls by at most FTol of itself, it is below XTol
    of the parameters (both scaled by their sensitivities), or the largest
    cosine between a sensitivity and the residuals is below GTol. }
  FTol = 1.0E-10;
  XTol = 1.0E-8;
  GTol = 1.0E-10;
  { When no step lowers the sum, it is at its minimum as far as the model's
    values are exact if the sensitivities say it could fall by at most this. }
  StallTol = 1.0E-8;
  { Columns of unit length whose R entry falls below this of the first are
    taken as dependent for the covariance. }
  RankTol = 1.0E-9;
  { The machine precision of a double. }
  MachEps = 2.220446049250313E-16;
  KindNames: array[0..2] of AnsiString = ('One trial at starting parameter values',
    'Nonlinear search from starting parameters', 'Grid search over ranges of parameter values');

type
  TVec = array of DOUBLE;
  TIntVec = array of LONGINT;

  TItem = record
    Index: LONGINT;       { series index }
    Dep: LONGINT;         { observed variable }
    Run: LONGINT;         { without time series: the run (case) giving it }
    Observed, Weight, Time: DOUBLE;
  end;

  TCase = record
    Index: LONGINT;
    Inputs: TVec;
  end;

  TPoint = record
    T, V: DOUBLE;
  end;
  TCurve = array of TPoint;

  { Sets the inputs after ADDSET and keeps the observed variables' values. }
  TFitHooks = class(TStepHooks)
    Curves: array of TCurve;       { per input, sorted by time }
    Trace: array of TVec;          { per observed variable, per step }
    procedure AfterAddSet; override;
    procedure Solved(JT: LONGINT; const Values: array of DOUBLE); override;
  end;

var
  StoreName, StoreFile, P: AnsiString;
  Store: TDsfStore;
  Controls: TDsfSeries;
  Timed: BOOLEAN;
  NB, ND, NI: LONGINT;
  DepVar, InVar: array of LONGINT;
  { DepExact: the observed variable's equation reads no variable that Newton
    solves for, so its output is exact whatever the tolerance. }
  DepExact: array of BOOLEAN;
  AllExact: BOOLEAN;
  Start, Lo, Hi, Delta: TVec;
  HasLo, HasHi: array of BOOLEAN;
  { Fixed: RangeLo = RangeUp; DeltaNoted: the report says its Delta was enlarged. }
  Fixed, DeltaNoted: array of BOOLEAN;
  Items: array of TItem;
  Cases: array of TCase;
  Hooks: TFitHooks;
  StartY: array of XVR;
  Count: LONGINT;
  TheModel: ^TNewtonModel;
  PSetup, PTimeSet, PAddSet, PReport: TUserProc;
  Runs, Evaluations: Int64;
  LastFailure: AnsiString;
  Lines: array of AnsiString;
  Debug: BOOLEAN;

function Interpolate(const C: TCurve; T: DOUBLE): DOUBLE;
var
  L, H, M: LONGINT;
begin
  if T <= C[0].T then
    Exit(C[0].V);
  if T >= C[High(C)].T then
    Exit(C[High(C)].V);
  L := 0;
  H := High(C);
  while H - L > 1 do
  begin
    M := (L + H) div 2;
    if C[M].T <= T then
      L := M
    else
      H := M;
  end;
  if C[H].T = C[L].T then
    Result := C[H].V
  else
    Result := C[L].V + (C[H].V - C[L].V) * (T - C[L].T) / (C[H].T - C[L].T);
end;

{ Observed variable K after a solved step: its equation's output where that
  is exact, else the value the step recorded. }
function ObservedValue(K: LONGINT; const Values: array of DOUBLE): DOUBLE;
begin
  if DepExact[K] then
    Result := _Y[DepVar[K]].O
  else
    Result := Values[DepVar[K]];
end;

{ Whether variable V comes from its equation alone, reading no variable
  that Newton solves for (only inputs and parameters). }
function ReadsNoSolved(V: LONGINT): BOOLEAN;
var
  P, L: LONGINT;
begin
  Result := False;
  for P := 0 to TheModel^.N - 1 do
    if TheModel^.RowVar[P] = V then
    begin
      with TheModel^.Matrix do
        for L := RowStart[P] to RowStart[P + 1] - 1 do
          if TheModel^.ColVar[RowCol[L]] <> V then
            Exit(False);
      Exit(True);
    end;
end;

procedure TFitHooks.AfterAddSet;
var
  K: LONGINT;
  V: DOUBLE;
begin
  for K := 0 to High(Curves) do
  begin
    V := Interpolate(Curves[K], _T);
    _Y[InVar[K]].I := V;
    _Y[InVar[K]].O := V;
  end;
end;

procedure TFitHooks.Solved(JT: LONGINT; const Values: array of DOUBLE);
var
  K: LONGINT;
begin
  for K := 0 to High(Trace) do
  begin
    if JT >= Length(Trace[K]) then
      SetLength(Trace[K], 2 * JT + 2);
    Trace[K][JT] := ObservedValue(K, Values);
  end;
end;

procedure Refuse(const Text: AnsiString);
begin
  DsfClose(Store);
  Stop(ExitRefused, Text + '; nothing written.');
end;

procedure Say(const Line: AnsiString);
var
  K: LONGINT;
begin
  K := Length(Lines);
  SetLength(Lines, K + 1);
  Lines[K] := Line;
end;

function Where(const Path: AnsiString): AnsiString;
begin
  Result := Path + ' in ' + StoreName;
end;

{ Reads the series at Path: False when there is none; a damaged store is refused. }
function ReadSeries(const Path: AnsiString; var Ser: TDsfSeries): BOOLEAN;
var
  Detail: AnsiString;
begin
  case DsfReadSeries(Store, Path, Ser, Detail) of
    dsfFound: Result := True;
    dsfMissing: Result := False;
  else
    Refuse('Data-series store ' + StoreName + ': ' + Detail + ' (reading ' + Path + ')');
    Result := False;
  end;
end;

procedure NeedSeries(const Path: AnsiString; var Ser: TDsfSeries);
begin
  if not ReadSeries(Path, Ser) then
    Refuse(Where(Path) + ' not found');
end;

function ControlValue(K: LONGINT; out V: DOUBLE): BOOLEAN;
begin
  Result := DsfValue(Controls, K, V);
end;

function Control(K, Default: LONGINT): LONGINT;
var
  V: DOUBLE;
begin
  if not ControlValue(K, V) or not (Abs(V) < 1.0E9) then
    Exit(Default);
  Result := Round(V);
end;

{ ---- Runs ---- }

procedure SetParameters(const B: TVec);
var
  K: LONGINT;
begin
  for K := 0 to NB - 1 do
    if LsqBetas[K].PD <> nil then
      LsqBetas[K].PD^ := B[K]
    else
      LsqBetas[K].PS^ := B[K];
end;

{ The value the model actually sees for parameter K at X. }
function SeenValue(K: LONGINT; X: DOUBLE): DOUBLE;
var
  S: SINGLE;
begin
  if LsqBetas[K].PD <> nil then
    Exit(X);
  S := X;
  Result := S;
end;

{ One whole run from the start state: case C's inputs (C < 0: none; with
  time series the hooks set them). Ttr when the run is to be kept. }
function OneRun(const B: TVec; C: LONGINT; Ttr: PTtrWriter; var XOut: TVec;
  out Outcome: TRunOutcome): BOOLEAN;
var
  K, Steps, FailedAt: LONGINT;
  Detail: AnsiString;
begin
  Inc(Runs);
  Move(StartY[0], _Y[0], Count * SizeOf(XVR));
  if C >= 0 then
    for K := 0 to NI - 1 do
    begin
      _Y[InVar[K]].I := Cases[C].Inputs[K];
      _Y[InVar[K]].O := Cases[C].Inputs[K];
    end;
  SetParameters(B);
  PSetup;
  PTimeSet;
  if not CheckTimeAxis(Steps) then
  begin
    LastFailure := 'Bad time axis from TIMESET: TSTART=' + Num(TSTART) + ' TEND=' + Num(TEND)
      + ' TSTEP=' + Num(TSTEP);
    Outcome := runFailed;
    Exit(False);
  end;
  { TIMESET may set NEWTONTOL from the parameters: each run checks it as
    a plain run does once. }
  Detail := NewtonTolFault;
  if Detail <> '' then
  begin
    LastFailure := Detail;
    Outcome := runFailed;
    Exit(False);
  end;
  if MAXITER < 1 then
    MAXITER := 1;
  if Timed then
    for K := 0 to ND - 1 do
      SetLength(Hooks.Trace[K], Steps + 1);
  if Timed then
    Outcome := RunSteps(TheModel^, Steps, PAddSet, PReport, Hooks, Ttr, False, XOut, FailedAt, Detail)
  else
    Outcome := RunSteps(TheModel^, Steps, PAddSet, PReport, nil, Ttr, False, XOut, FailedAt, Detail);
  Result := Outcome = runOk;
  if not Result then
    LastFailure := Detail + ' at _JT=' + IntToStr(FailedAt) + ', _T=' + Num(_T);
end;

{ The model's value of each observation at parameters B into M; False when
  a run fails (LastFailure says why). }
function ModelValues(const B: TVec; var M: TVec): BOOLEAN;
var
  XOut: TVec;
  K, C, J, Steps: LONGINT;
  Outcome: TRunOutcome;
  U, F: DOUBLE;
begin
  Inc(Evaluations);
  SetLength(XOut, Count);
  SetLength(M, Length(Items));
  if Timed then
  begin
    if not OneRun(B, -1, nil, XOut, Outcome) then
      Exit(False);
    CheckTimeAxis(Steps);
    for K := 0 to High(Items) do
    begin
      U := (Items[K].Time - TSTART) / TSTEP;
      if (U < -1.0E-9) or (U > Steps + 1.0E-9) then
        Refuse('Time ' + Num(Items[K].Time) + ' at index ' + IntToStr(Items[K].Index) + ' of '
          + Where('.' + P + '.Time.Value') + ' lies outside the run, ' + Num(TSTART) + ' to ' + Num(TEND));
      J := Floor(U);
      if J < 0 then
        J := 0;
      if J >= Steps then
        J := Steps - 1;
      if Steps = 0 then
        M[K] := Hooks.Trace[Items[K].Dep][0]
      else
      begin
        F := Min(Max(U - J, 0.0), 1.0);
        M[K] := Hooks.Trace[Items[K].Dep][J]
          + F * (Hooks.Trace[Items[K].Dep][J + 1] - Hooks.Trace[Items[K].Dep][J]);
      end;
    end;
  end
  else
  begin
    K := 0;
    for C := 0 to High(Cases) do
    begin
      if not OneRun(B, C, nil, XOut, Outcome) then
        Exit(False);
      while (K <= High(Items)) and (Items[K].Run = C) do
      begin
        M[K] := ObservedValue(Items[K].Dep, XOut);
        Inc(K);
      end;
    end;
  end;
  Result := True;
end;

{ Weighted residuals sqrt(w) (model - observed) and their sum of squares. }
function Evaluate(const B: TVec; var R: TVec; out S: DOUBLE): BOOLEAN;
var
  M: TVec;
  K: LONGINT;
begin
  S := Infinity;
  LastFailure := '';
  SetLength(R, Length(Items));
  if not ModelValues(B, M) then
    Exit(False);
  S := 0.0;
  for K := 0 to High(Items) do
  begin
    R[K] := Sqrt(Items[K].Weight) * (M[K] - Items[K].Observed);
    S := S + Sqr(R[K]);
  end;
  Result := not IsNan(S) and not IsInfinite(S);
  if not Result then
    LastFailure := 'the sum of squares is not a number';
end;

{ ---- Linear algebra on p <= 15 unknowns ---- }

{ Householder QR of the M x N matrix A (column j at A[j * M], M >= N):
  Q'A = R, with Q' applied to B (length M) as well. With Pivot the column of
  largest remaining norm is taken next, so that the diagonal of R falls and
  a dependent column shows as a small one at the end. On return R[i, j]
  (i <= j) is A[j * M + i] and Perm[j] the column of A at position j. }
procedure QRFactor(var A: TVec; M, N: LONGINT; Pivot: BOOLEAN; var Perm: TIntVec; var B: TVec);
var
  I, J, K, Best: LONGINT;
  T, Alpha, S, Big, Beta: DOUBLE;
begin
  SetLength(Perm, N);
  for J := 0 to N - 1 do
    Perm[J] := J;
  for K := 0 to N - 1 do
  begin
    if Pivot then
    begin
      Best := K;
      Big := -1.0;
      for J := K to N - 1 do
      begin
        S := 0.0;
        for I := K to M - 1 do
          S := S + Sqr(A[J * M + I]);
        if S > Big then
        begin
          Big := S;
          Best := J;
        end;
      end;
      if Best <> K then
      begin
        for I := 0 to M - 1 do
        begin
          T := A[K * M + I];
          A[K * M + I] := A[Best * M + I];
          A[Best * M + I] := T;
        end;
        I := Perm[K];
        Perm[K] := Perm[Best];
        Perm[Best] := I;
      end;
    end;
    S := 0.0;
    for I := K to M - 1 do
      S := S + Sqr(A[K * M + I]);
    S := Sqrt(S);
    if S = 0.0 then
      Continue;
    if A[K * M + K] > 0.0 then
      Alpha := -S
    else
      Alpha := S;
    { v = x - Alpha e1 over rows K..M-1, kept in place; H = I - v v' / Beta. }
    Beta := S * S - Alpha * A[K * M + K];
    A[K * M + K] := A[K * M + K] - Alpha;
    for J := K + 1 to N - 1 do
    begin
      T := 0.0;
      for I := K to M - 1 do
        T := T + A[K * M + I] * A[J * M + I];
      T := T / Beta;
      for I := K to M - 1 do
        A[J * M + I] := A[J * M + I] - T * A[K * M + I];
    end;
    T := 0.0;
    for I := K to M - 1 do
      T := T + A[K * M + I] * B[I];
    T := T / Beta;
    for I := K to M - 1 do
      B[I] := B[I] - T * A[K * M + I];
    A[K * M + K] := Alpha;
    for I := K + 1 to M - 1 do
      A[K * M + I] := 0.0;
  end;
end;

{ Solves R x = C for the leading Rank rows of the R that QRFactor left in A
  (M rows); the other components of X are 0. }
procedure BackSolve(const A: TVec; M, N, Rank: LONGINT; const C: TVec; var X: TVec);
var
  I, J: LONGINT;
  T: DOUBLE;
begin
  SetLength(X, N);
  for I := 0 to N - 1 do
    X[I] := 0.0;
  for I := Rank - 1 downto 0 do
  begin
    T := C[I];
    for J := I + 1 to Rank - 1 do
      T := T - A[J * M + I] * X[J];
    X[I] := T / A[I * M + I];
  end;
end;

{ The number of leading diagonal entries of R above Tol of the first. }
function RankOf(const A: TVec; M, N: LONGINT; Tol: DOUBLE): LONGINT;
begin
  Result := 0;
  if (N = 0) or (A[0] = 0.0) then
    Exit;
  while (Result < N) and (Abs(A[Result * M + Result]) > Tol * Abs(A[0])) do
    Inc(Result);
end;

function Clamp(K: LONGINT; X: DOUBLE): DOUBLE;
begin
  Result := X;
  if HasLo[K] and (Result < Lo[K]) then
    Result := Lo[K];
  if HasHi[K] and (Result > Hi[K]) then
    Result := Hi[K];
end;

{ ---- Sensitivities ---- }

{ The size of parameter K near X, for its difference step. }
function Typical(K: LONGINT; X: DOUBLE): DOUBLE;
begin
  if X <> 0.0 then
    Result := Abs(X)
  else if Start[K] <> 0.0 then
    Result := Abs(Start[K])
  else if HasLo[K] and HasHi[K] and (Hi[K] > Lo[K]) then
    Result := Hi[K] - Lo[K]
  else if HasLo[K] and (Lo[K] <> 0.0) then
    Result := Abs(Lo[K])
  else if HasHi[K] and (Hi[K] <> 0.0) then
    Result := Abs(Hi[K])
  else
    Result := 1.0;
end;

{ The relative precision of the model's values: a double's, or what
  Newton's tolerance leaves where a step is solved iteratively. }
function Precision: DOUBLE;
begin
  if AllExact then
    Result := MachEps
  else
    Result := Max(MachEps, TheModel^.WorstNorm * NEWTONTOL);
end;

{ The difference step of parameter K at X: its Delta, unless that does not
  change the parameter as the model holds it; else Scale times its size,
  doubled until the model sees the change (a relative step below the
  resolution of a SINGLE). }
function DiffStep(K: LONGINT; X, Scale: DOUBLE): DOUBLE;
var
  N: LONGINT;
begin
  if (Delta[K] > 0.0) and (SeenValue(K, X + Delta[K]) <> SeenValue(K, X)) then
    Exit(Delta[K]);
  Result := Scale * Typical(K, X);
  N := 0;
  while (SeenValue(K, X + Result) = SeenValue(K, X)) and (N < 2200) do
  begin
    Result := Result * 2.0;
    Inc(N);
  end;
  if (Delta[K] > 0.0) and not DeltaNoted[K] then
  begin
    DeltaNoted[K] := True;
    Say('Delta of ' + LsqBetas[K].Name + ' (' + Num(Delta[K]) + ') does not change its value '
      + Num(X) + ' as the model holds it; the default relative step ' + Num(Scale)
      + ' is used instead (at least what its variable resolves)');
  end;
end;

{ Whether X + H lies within the range of parameter K. }
function Inside(K: LONGINT; X: DOUBLE): BOOLEAN;
begin
  Result := not ((HasLo[K] and (X < Lo[K])) or (HasHi[K] and (X > Hi[K])));
end;

{ The weighted residuals at B with parameter K moved to X, and the move
  the model sees; False (FailWhy says why) when the model fails there. }
function Moved(const B: TVec; K: LONGINT; X: DOUBLE; var RK: TVec; out Used: DOUBLE;
  var FailWhy: AnsiString): BOOLEAN;
var
  BK: TVec;
  SK: DOUBLE;
  I: LONGINT;
begin
  BK := Copy(B);
  BK[K] := X;
  Used := SeenValue(K, X) - SeenValue(K, B[K]);
  if Used = 0.0 then
  begin
    FailWhy := 'the range of ' + LsqBetas[K].Name + ' leaves no room for a difference step at ' + Num(B[K]);
    Exit(False);
  end;
  Result := Evaluate(BK, RK, SK);
  if Result then
    for I := 0 to High(RK) do
      if IsNan(RK[I]) or IsInfinite(RK[I]) then
        Result := False;
  if not Result then
    FailWhy := 'the model fails next to the parameters (' + LsqBetas[K].Name + ' = ' + Num(X) + '): '
      + LastFailure;
end;

{ Column K of the forward-difference sensitivities of the weighted
  residuals R at B, into J (column k at k * n): the step goes up, or down
  where the range or the model stops it. False, with Why, when the model
  fails on both sides. }
function ForwardColumn(const B, R: TVec; K: LONGINT; var J: TVec; var Why: AnsiString): BOOLEAN;
var
  I, N: LONGINT;
  H, Used: DOUBLE;
  RK: TVec;
begin
  N := Length(Items);
  H := DiffStep(K, B[K], Sqrt(Precision));
  if not Inside(K, B[K] + H) and not Inside(K, B[K] - H) then
  begin
    { A range narrower than the step: the wider side, to its end. }
    if Hi[K] - B[K] >= B[K] - Lo[K] then
      H := Hi[K] - B[K]
    else
      H := Lo[K] - B[K];
  end
  else if not Inside(K, B[K] + H) then
    H := -H;
  Result := Moved(B, K, B[K] + H, RK, Used, Why);
  if not Result and Inside(K, B[K] - H) then
    Result := Moved(B, K, B[K] - H, RK, Used, Why);
  if Result then
    for I := 0 to N - 1 do
      J[K * N + I] := (RK[I] - R[I]) / Used;
end;

{ Column K of second-order sensitivities, for the covariance and where
  forward differences are too coarse: central differences with a step of
  the cube root of the model's precision times the parameter's size (or
  its Delta), one-sided three-point differences at a bound or where the
  model fails on one side, forward differences where only one point beside
  B can be run. }
function CentralColumn(const B, R: TVec; K: LONGINT; var J: TVec; var Why: AnsiString): BOOLEAN;
var
  I, N: LONGINT;
  H, Up, Down, H1, H2: DOUBLE;
  RP, RM, R2: TVec;
  OkP, OkM: BOOLEAN;
begin
  N := Length(Items);
  H := DiffStep(K, B[K], Power(Precision, 1.0 / 3.0));
  OkP := Inside(K, B[K] + H) and Moved(B, K, B[K] + H, RP, Up, Why);
  OkM := Inside(K, B[K] - H) and Moved(B, K, B[K] - H, RM, Down, Why);
  if OkP and OkM then
  begin
    { Down < 0: the points B + Down, B, B + Up. }
    for I := 0 to N - 1 do
      J[K * N + I] := (Sqr(Down) * (RP[I] - R[I]) - Sqr(Up) * (RM[I] - R[I]))
        / (Up * Down * (Down - Up));
    Exit(True);
  end;
  { The range may leave room for a smaller step only. }
  if not OkP and not OkM then
    Exit(ForwardColumn(B, R, K, J, Why));
  if OkM then
  begin
    RP := RM;
    Up := Down;
    H := -H;
  end;
  { One side: B, B + H1, B + H1 + H2. }
  H1 := Up;
  if Inside(K, B[K] + 2.0 * H) and Moved(B, K, B[K] + 2.0 * H, R2, H2, Why) then
  begin
    H2 := H2 - H1;
    for I := 0 to N - 1 do
      J[K * N + I] := ((H1 + H2) / (H1 * H2)) * (RP[I] - R[I])
        - (H1 / (H2 * (H1 + H2))) * (R2[I] - R[I]);
  end
  else
    for I := 0 to N - 1 do
      J[K * N + I] := (RP[I] - R[I]) / H1;
  Result := True;
end;

{ The sensitivities at B, by forward differences (one evaluation per
  parameter) or second-order ones (two); a parameter fixed by its range
  gets a column of 0. False, with Why, when the model fails on both sides
  of a parameter. }
function Sensitivities(const B, R: TVec; Central: BOOLEAN; var J: TVec; out Why: AnsiString): BOOLEAN;
var
  K, I, N: LONGINT;
  Ok: BOOLEAN;
begin
  N := Length(Items);
  SetLength(J, N * NB);
  Why := '';
  for K := 0 to NB - 1 do
  begin
    for I := 0 to N - 1 do
      J[K * N + I] := 0.0;
    if Fixed[K] then
      Continue;
    if Central then
      Ok := CentralColumn(B, R, K, J, Why)
    else
      Ok := ForwardColumn(B, R, K, J, Why);
    if not Ok then
      Exit(False);
  end;
  Result := True;
end;

function ParamList(const B: TVec): AnsiString;
var
  K: LONGINT;
begin
  Result := '';
  for K := 0 to NB - 1 do
    Result := Result + ' ' + LsqBetas[K].Name + '=' + Num(B[K]);
end;

procedure DebugLine(const Line: AnsiString);
begin
  if Debug then
  begin
    WriteLn(Line);
    Say(Line);
  end;
end;

{ Names joined with commas and a final "and". }
function NameList(const Names: array of AnsiString): AnsiString;
var
  K: LONGINT;
begin
  Result := '';
  for K := 0 to High(Names) do
  begin
    if K > 0 then
      if K = High(Names) then
        Result := Result + ' and '
      else
        Result := Result + ', ';
    Result := Result + Names[K];
  end;
end;

{ ---- The searches ---- }

{ Levenberg-Marquardt from B, the parameters scaled by the largest norm
  their sensitivities have had: each iteration takes the forward-difference
  sensitivities (p evaluations), factorises them once, and tries damped
  steps (one evaluation each) until one lowers the sum, the damping set
  from how well the linear model predicted the last step. A step after
  which a parameter has no effect at all is taken back and tried shorter;
  when no step lowers the sum, the sensitivities are taken by central
  differences from there on before the search gives up. It stops when the
  Gauss-Newton step from the point reached would lower the sum by at most
  FTol of itself (relative reduction), is below XTol of the parameters
  (relative step), or every sensitivity is all but orthogonal to the
  residuals (scaled gradient); unconverged when the iteration limit is
  reached, the model fails next to the parameters, no step lowers the sum
  though the sensitivities say it could fall, or a parameter has no effect
  at all. B is always the best point found; R and S are its residuals and
  sum. }
procedure MarquardtSearch(var B, R: TVec; var S: DOUBLE; out Why: AnsiString;
  out Converged: BOOLEAN; out Iterations: LONGINT);
var
  J, A, QtR, D, G, Cn, W, Dg, T, RT, Dc, A2, B2, C, PrevB, PrevR, PrevJ: TVec;
  Perm, Perm2, Pos: TIntVec;
  Free, Dead, PrevDead: array of BOOLEAN;
  DeadNames: array of AnsiString;
  Lambda, Nu, ST, Pred, Rho, PrGN, GNorm, XNorm, StepNorm, U, PrevS, PrevLambda: DOUBLE;
  N, K, I, L, NF, Rank, Rejects: LONGINT;
  NeedJ, Same, TrialFailed, HavePrev, Central, Newly: BOOLEAN;
  Tests, TrialFailure: AnsiString;

  { Gradient and scales from J, and which parameters move: one held at a
    bound that the descent would push past stays there, one without any
    effect cannot move. }
  procedure Analyse;
  var
    K, I: LONGINT;
    U: DOUBLE;
  begin
    NF := 0;
    SetLength(DeadNames, 0);
    for K := 0 to NB - 1 do
    begin
      G[K] := 0.0;
      U := 0.0;
      for I := 0 to N - 1 do
      begin
        G[K] := G[K] + J[K * N + I] * R[I];
        U := U + Sqr(J[K * N + I]);
      end;
      Cn[K] := Sqrt(U);
      Dead[K] := not Fixed[K] and (Cn[K] = 0.0);
      if Dead[K] then
      begin
        SetLength(DeadNames, Length(DeadNames) + 1);
        DeadNames[High(DeadNames)] := LsqBetas[K].Name;
      end;
      if Cn[K] > D[K] then
        D[K] := Cn[K];
      Free[K] := not Fixed[K] and not Dead[K]
        and not ((HasHi[K] and (B[K] >= Hi[K]) and (G[K] < 0.0))
          or (HasLo[K] and (B[K] <= Lo[K]) and (G[K] > 0.0)));
      if Free[K] then
      begin
        Pos[NF] := K;
        Inc(NF);
      end;
    end;
  end;

  { One QR factorisation of the moving parameters' scaled sensitivities,
    the Gauss-Newton step Dg from it and the stopping tests' measures. }
  procedure Factorise;
  var
    K, I, L: LONGINT;
  begin
    SetLength(A, N * NF);
    for L := 0 to NF - 1 do
      for I := 0 to N - 1 do
        A[L * N + I] := J[Pos[L] * N + I] / D[Pos[L]];
    QtR := Copy(R);
    QRFactor(A, N, NF, True, Perm, QtR);
    Rank := RankOf(A, N, NF, 1.0E-13);
    PrGN := 0.0;
    SetLength(C, NF);
    for I := 0 to NF - 1 do
    begin
      C[I] := -QtR[I];
      if I < Rank then
        PrGN := PrGN + Sqr(QtR[I]);
    end;
    PrGN := PrGN / S;
    BackSolve(A, N, NF, Rank, C, W);
    SetLength(Dg, NB);
    for K := 0 to NB - 1 do
      Dg[K] := 0.0;
    for L := 0 to NF - 1 do
      Dg[Pos[Perm[L]]] := W[L] / D[Pos[Perm[L]]];
    GNorm := 0.0;
    XNorm := 0.0;
    StepNorm := 0.0;
    for L := 0 to NF - 1 do
    begin
      K := Pos[L];
      GNorm := Max(GNorm, Abs(G[K]) / (Cn[K] * Sqrt(S)));
      XNorm := XNorm + Sqr(D[K] * B[K]);
      StepNorm := StepNorm + Sqr(D[K] * (SeenValue(K, Clamp(K, B[K] + Dg[K])) - SeenValue(K, B[K])));
    end;
    XNorm := Sqrt(XNorm);
    StepNorm := Sqrt(StepNorm);
  end;

  procedure AddTest(const Text: AnsiString);
  begin
    if Tests <> '' then
      Tests := Tests + ', ';
    Tests := Tests + Text;
  end;

begin
  N := Length(Items);
  Iterations := 0;
  Converged := False;
  Why := '';
  SetLength(D, NB);
  SetLength(G, NB);
  SetLength(Cn, NB);
  SetLength(Free, NB);
  SetLength(Dead, NB);
  SetLength(Pos, NB);
  for K := 0 to NB - 1 do
    D[K] := 0.0;
  Lambda := 1.0E-3;
  Nu := 2.0;
  NeedJ := True;
  HavePrev := False;
  PrevB := nil;
  PrevR := nil;
  PrevJ := nil;
  PrevDead := nil;
  Central := False;
  Rejects := 0;
  NF := 0;
  PrGN := 1.0;
  PrevS := 0.0;
  PrevLambda := Lambda;
  TrialFailure := '';
  TrialFailed := False;
  while True do
  begin
    if S = 0.0 then
    begin
      Converged := True;
      Why := 'the sum of squares is 0';
      Break;
    end;
    if NeedJ then
    begin
      NeedJ := False;
      SetLength(DeadNames, 0);
      if not Sensitivities(B, R, Central, J, Why) then
        Break;
      Analyse;
      { A step that left a parameter without any effect at all went too
        far: back to where it had one, and a shorter step from there. }
      Newly := False;
      if HavePrev then
        for K := 0 to NB - 1 do
          if Dead[K] and not PrevDead[K] then
            Newly := True;
      if Newly then
      begin
        DebugLine('  at' + ParamList(B) + ': ' + NameList(DeadNames)
          + ' without effect; back to the point before, with a shorter step');
        B := Copy(PrevB);
        R := Copy(PrevR);
        J := Copy(PrevJ);
        S := PrevS;
        Dec(Iterations);
        Lambda := Max(Lambda, PrevLambda) * Nu;
        Nu := 2.0 * Nu;
        Inc(Rejects);
        HavePrev := False;
        Analyse;
      end;
      if NF = 0 then
      begin
        if Length(DeadNames) = 0 then
        begin
          Converged := True;
          Why := 'every parameter is held at a bound of its range';
        end;
        Break;
      end;
      Factorise;
      DebugLine('  at' + ParamList(B) + ': predicted relative reduction ' + Num(PrGN)
        + ', relative step ' + Num(StepNorm / Max(XNorm, 1.0E-300)) + ', scaled gradient ' + Num(GNorm));
      Tests := '';
      if PrGN <= FTol then
        AddTest('relative reduction (the sum can fall by at most ' + Num(FTol) + ' of itself)');
      if StepNorm <= XTol * XNorm then
        AddTest('relative step (the next step is below ' + Num(XTol) + ' of the parameters)');
      if GNorm <= GTol then
        AddTest('scaled gradient (below ' + Num(GTol) + ')');
      if Tests <> '' then
      begin
        Converged := Length(DeadNames) = 0;
        Why := 'the test of ' + Tests;
        Break;
      end;
      if Iterations >= MaxIterations then
      begin
        Why := 'the limit of ' + IntToStr(MaxIterations) + ' iterations was reached';
        Break;
      end;
    end;

    { A damped step: min |Q'r + R w|^2 + Lambda |w|^2 through the QR
      factorisation of R over Sqrt(Lambda) times the identity. }
    SetLength(A2, 2 * NF * NF);
    SetLength(B2, 2 * NF);
    for L := 0 to NF - 1 do
    begin
      for I := 0 to 2 * NF - 1 do
        A2[L * 2 * NF + I] := 0.0;
      for I := 0 to L do
        A2[L * 2 * NF + I] := A[L * N + I];
      A2[L * 2 * NF + NF + L] := Sqrt(Lambda);
      B2[L] := -QtR[L];
      B2[NF + L] := 0.0;
    end;
    QRFactor(A2, 2 * NF, NF, False, Perm2, B2);
    BackSolve(A2, 2 * NF, NF, NF, B2, W);
    T := Copy(B);
    SetLength(Dc, NB);
    Same := True;
    for K := 0 to NB - 1 do
      Dc[K] := 0.0;
    for L := 0 to NF - 1 do
    begin
      K := Pos[Perm[L]];
      T[K] := Clamp(K, B[K] + W[L] / D[K]);
      Dc[K] := SeenValue(K, T[K]) - SeenValue(K, B[K]);
      if Dc[K] <> 0.0 then
        Same := False;
    end;
    ST := Infinity;
    Pred := 0.0;
    if not Same then
    begin
      TrialFailed := not Evaluate(T, RT, ST);
      if TrialFailed then
      begin
        ST := Infinity;
        TrialFailure := LastFailure;
      end;
      { The reduction the linear model predicts for the step taken. }
      for I := 0 to N - 1 do
      begin
        U := R[I];
        for K := 0 to NB - 1 do
          if Dc[K] <> 0.0 then
            U := U + J[K * N + I] * Dc[K];
        Pred := Pred + Sqr(U);
      end;
      Pred := S - Pred;
    end;
    if ST < S then
    begin
      PrevB := Copy(B);
      PrevR := Copy(R);
      PrevJ := Copy(J);
      PrevS := S;
      PrevDead := Copy(Dead);
      PrevLambda := Lambda;
      HavePrev := True;
      if Pred > 0.0 then
      begin
        Rho := (S - ST) / Pred;
        Lambda := Lambda * Max(1.0 / 3.0, 1.0 - IntPower(2.0 * Rho - 1.0, 3));
      end;
      Lambda := Max(Lambda, 1.0E-16);
      Nu := 2.0;
      B := T;
      R := RT;
      S := ST;
      Inc(Iterations);
      Rejects := 0;
      NeedJ := True;
      DebugLine('Iteration ' + IntToStr(Iterations) + ': sum ' + Num(S) + ', lambda ' + Num(Lambda)
        + ',' + ParamList(B));
    end
    else
    begin
      Lambda := Lambda * Nu;
      Nu := 2.0 * Nu;
      Inc(Rejects);
      if Same then
        DebugLine('Iteration ' + IntToStr(Iterations + 1) + ': step too small to change the parameters, lambda '
          + Num(Lambda))
      else
        DebugLine('Iteration ' + IntToStr(Iterations + 1) + ': trial rejected (sum ' + Num(ST) + '), lambda '
          + Num(Lambda));
      if (Lambda > 1.0E16) or (Rejects >= 60) then
      begin
        if (PrGN > StallTol) and not Central then
        begin
          { Forward differences too coarse here: central ones from now on. }
          Central := True;
          NeedJ := True;
          Rejects := 0;
          Lambda := 1.0E-3;
          Nu := 2.0;
          HavePrev := False;
          Say('Forward differences too coarse at' + ParamList(B) + ' (iteration ' + IntToStr(Iterations)
            + '): central differences from there on');
          Continue;
        end;
        if PrGN <= StallTol then
        begin
          Converged := Length(DeadNames) = 0;
          Why := 'no step lowers the sum further: it is at its minimum as far as the model''s values are exact'
            + ' (it could fall by ' + Num(PrGN) + ' of itself at most)';
        end
        else
        begin
          Why := 'no step lowers the sum, though the sensitivities say it could fall by ' + Num(PrGN)
            + ' of itself (the model''s values may be too coarse for its differences)';
          if TrialFailed then
            Why := Why + '; the last trial failed: ' + TrialFailure;
        end;
        Break;
      end;
    end;
  end;
  if Length(DeadNames) > 0 then
  begin
    if Length(DeadNames) = 1 then
      Tests := DeadNames[0] + ' has no effect on the fit at these values (every sensitivity to it is 0)'
    else
      Tests := NameList(DeadNames) + ' have no effect on the fit at these values (every sensitivity to them is 0)';
    if Why = '' then
      Why := Tests
    else
      Why := Tests + '; the others: ' + Why;
    Converged := False;
  end;
end;

{ ---- Standard errors ---- }

{ The standard error of each parameter from the covariance at B,
  sqrt(diag((J'WJ)^-1) S / (n - p)), into Text: J by second-order
  differences and factorised once, by a QR factorisation with its columns
  scaled to unit length and pivoted. Where J'WJ is singular the parameters
  of its null space get "not available" and why; for the others the
  covariance of the determined part gives their errors. }
procedure StandardErrors(const B, R: TVec; S: DOUBLE; var Text: array of AnsiString);
var
  N, K, I, L, T, NC, Rank: LONGINT;
  J, A, Dummy, Scale, Inv, V: TVec;
  Cols, Perm: TIntVec;
  Group: array of array of BOOLEAN;
  Names: array of AnsiString;
  Why: AnsiString;
  U, Big: DOUBLE;
begin
  N := Length(Items);
  for K := 0 to NB - 1 do
    Text[K] := '';
  if N <= NB then
  begin
    for K := 0 to NB - 1 do
      Text[K] := 'not available: ' + IntToStr(N) + ' observations are not more than the '
        + IntToStr(NB) + ' parameters';
    Exit;
  end;
  if not Sensitivities(B, R, True, J, Why) then
  begin
    for K := 0 to NB - 1 do
      Text[K] := 'not available: ' + Why;
    Exit;
  end;
  NC := 0;
  SetLength(Cols, NB);
  SetLength(Scale, NB);
  for K := 0 to NB - 1 do
  begin
    U := 0.0;
    for I := 0 to N - 1 do
      U := U + Sqr(J[K * N + I]);
    U := Sqrt(U);
    if Fixed[K] then
      Text[K] := 'not available: its range holds one value, so it is not estimated'
    else if U = 0.0 then
      Text[K] := 'not available: ' + LsqBetas[K].Name
        + ' has no effect on the fit at these values (every sensitivity to it is 0)'
    else if IsNan(U) or IsInfinite(U) then
      Text[K] := 'not available: its sensitivities are not numbers at these values'
    else
    begin
      Cols[NC] := K;
      Scale[NC] := U;
      Inc(NC);
    end;
  end;
  if NC = 0 then
    Exit;
  SetLength(A, N * NC);
  for L := 0 to NC - 1 do
    for I := 0 to N - 1 do
      A[L * N + I] := J[Cols[L] * N + I] / Scale[L];
  SetLength(Dummy, N);
  for I := 0 to N - 1 do
    Dummy[I] := 0.0;
  QRFactor(A, N, NC, True, Perm, Dummy);
  Rank := RankOf(A, N, NC, RankTol);
  { The inverse of the leading Rank x Rank block of R, upper triangular. }
  SetLength(Inv, Rank * Rank);
  for L := 0 to Rank - 1 do
  begin
    for I := 0 to Rank - 1 do
      Inv[L * Rank + I] := 0.0;
    Inv[L * Rank + L] := 1.0 / A[L * N + L];
    for I := L - 1 downto 0 do
    begin
      U := 0.0;
      for K := I + 1 to L do
        U := U + A[K * N + I] * Inv[L * Rank + K];
      Inv[L * Rank + I] := -U / A[I * N + I];
    end;
  end;
  { Each dependent column t gives the null vector (-R11^-1 R12 e_t, e_t);
    the positions it involves cannot be told apart. }
  SetLength(Group, NC);
  for I := 0 to NC - 1 do
  begin
    SetLength(Group[I], NC);
    for L := 0 to NC - 1 do
      Group[I][L] := False;
  end;
  SetLength(V, NC);
  for T := Rank to NC - 1 do
  begin
    Big := 1.0;
    for I := 0 to NC - 1 do
      V[I] := 0.0;
    V[T] := 1.0;
    for I := 0 to Rank - 1 do
    begin
      U := 0.0;
      for L := I to Rank - 1 do
        U := U + Inv[L * Rank + I] * A[T * N + L];
      V[I] := -U;
      Big := Max(Big, Abs(U));
    end;
    for I := 0 to NC - 1 do
      if Abs(V[I]) > 1.0E-6 * Big then
        for L := 0 to NC - 1 do
          if Abs(V[L]) > 1.0E-6 * Big then
            Group[I][L] := True;
  end;
  for I := 0 to NC - 1 do
  begin
    K := Cols[Perm[I]];
    { The parameters it cannot be told apart from, in marker order. }
    SetLength(Names, 0);
    for L := 0 to NB - 1 do
      for T := 0 to NC - 1 do
        if Group[I][T] and (Cols[Perm[T]] = L) then
        begin
          SetLength(Names, Length(Names) + 1);
          Names[High(Names)] := LsqBetas[L].Name;
        end;
    if Length(Names) > 0 then
    begin
      Text[K] := 'not available: the sensitivities to ' + NameList(Names)
        + ' are linearly dependent at these values (to ' + Num(RankTol)
        + '), so the data cannot tell these parameters apart';
      Continue;
    end;
    U := 0.0;
    for L := I to Rank - 1 do
      U := U + Sqr(Inv[L * Rank + I]);
    Text[K] := Num(Sqrt(U * S / (N - NB)) / Scale[Perm[I]]);
    if HasHi[K] and (B[K] >= Hi[K]) then
      Text[K] := Text[K] + ' (at RangeUp)'
    else if HasLo[K] and (B[K] <= Lo[K]) then
      Text[K] := Text[K] + ' (at RangeLo)';
  end;
end;

procedure GridSearch(var B, BestR: TVec; var S: DOUBLE; out Why: AnsiString; out Points: LONGINT);
var
  Counts, At: array of LONGINT;
  Values: array of TVec;
  K, N: LONGINT;
  Logarithmic: BOOLEAN;
  Total, F: DOUBLE;
  X, R: TVec;
  SX: DOUBLE;
  Found: BOOLEAN;
begin
  Logarithmic := Control(3, 0) = 1;
  SetLength(Counts, NB);
  SetLength(Values, NB);
  Total := 1.0;
  for K := 0 to NB - 1 do
  begin
    if ControlValue(6 + K, F) and (F < 32000.0) then
      Counts[K] := Round(F)
    else
      Counts[K] := 1;
    if Counts[K] < 1 then
      Refuse('Grid count ' + IntToStr(Counts[K]) + ' of ' + LsqBetas[K].Name + ' at index '
        + IntToStr(6 + K) + ' of ' + Where('.' + P + '.Controls') + ' is below 1');
    if (Counts[K] > 1) and not (HasLo[K] and HasHi[K]) then
      Refuse('Grid search needs both bounds of ' + LsqBetas[K].Name + ': '
        + Where('.' + P + '.' + LsqBetas[K].Name + '.RangeLo') + ' and RangeUp');
    Total := Total * Counts[K];
    SetLength(Values[K], Counts[K]);
    if Counts[K] = 1 then
      Values[K][0] := Start[K]
    else
      for N := 0 to Counts[K] - 1 do
        if Logarithmic and (Lo[K] > 0.0) and (Hi[K] > 0.0) then
          Values[K][N] := Lo[K] * Power(Hi[K] / Lo[K], N / (Counts[K] - 1))
        else
          Values[K][N] := Lo[K] + (Hi[K] - Lo[K]) * N / (Counts[K] - 1);
  end;
  if Total > MaxGridPoints then
    Refuse('The grid of ' + Where('.' + P + '.Controls') + ' has ' + FloatToStrF(Total, ffFixed, 18, 0)
      + ' points; at most ' + IntToStr(MaxGridPoints) + ' are searched');
  SetLength(At, NB);
  SetLength(X, NB);
  Found := False;
  Points := 0;
  S := Infinity;
  repeat
    for K := 0 to NB - 1 do
      X[K] := Values[K][At[K]];
    Inc(Points);
    if Evaluate(X, R, SX) then
    begin
      DebugLine('Point ' + IntToStr(Points) + ': sum ' + Num(SX) + ',' + ParamList(X));
      if not Found or (SX < S) then
      begin
        S := SX;
        B := Copy(X);
        BestR := Copy(R);
        Found := True;
      end;
    end
    else
      DebugLine('Point ' + IntToStr(Points) + ': the model fails,' + ParamList(X));
    K := 0;
    while K < NB do
    begin
      Inc(At[K]);
      if At[K] < Counts[K] then
        Break;
      At[K] := 0;
      Inc(K);
    end;
  until K >= NB;
  if not Found then
    Stop(ExitFailed, 'The model fails at every point of the grid: ' + LastFailure + '. Nothing written.');
  Why := 'the best of ' + IntToStr(Points) + ' grid points';
end;

{ ---- Reading the problem ---- }

procedure ReadParameters;
var
  K: LONGINT;
  Ser: TDsfSeries;
  Base: AnsiString;
  V: DOUBLE;
begin
  SetLength(Start, NB);
  SetLength(Lo, NB);
  SetLength(Hi, NB);
  SetLength(Delta, NB);
  SetLength(HasLo, NB);
  SetLength(HasHi, NB);
  SetLength(Fixed, NB);
  SetLength(DeltaNoted, NB);
  for K := 0 to NB - 1 do
  begin
    Base := '.' + P + '.' + LsqBetas[K].Name;
    NeedSeries(Base + '.Start', Ser);
    if not DsfFirstValue(Ser, Start[K]) then
      Refuse(Where(Base + '.Start') + ' holds no value');
    HasLo[K] := ReadSeries(Base + '.RangeLo', Ser) and DsfFirstValue(Ser, Lo[K]);
    HasHi[K] := ReadSeries(Base + '.RangeUp', Ser) and DsfFirstValue(Ser, Hi[K]);
    if HasLo[K] and HasHi[K] and (Lo[K] > Hi[K]) then
      Refuse('The range of ' + LsqBetas[K].Name + ' in ' + StoreName + ' is empty: RangeLo '
        + Num(Lo[K]) + ' is above RangeUp ' + Num(Hi[K]));
    Fixed[K] := HasLo[K] and HasHi[K] and (Lo[K] = Hi[K]);
    DeltaNoted[K] := False;
    Delta[K] := 0.0;
    if ReadSeries(Base + '.Delta', Ser) and DsfFirstValue(Ser, V) and (V > 0.0) then
      Delta[K] := V;
  end;
end;

procedure AddItem(Index, Dep: LONGINT; Observed, Weight, Time: DOUBLE);
var
  K: LONGINT;
begin
  K := Length(Items);
  SetLength(Items, K + 1);
  Items[K].Index := Index;
  Items[K].Dep := Dep;
  Items[K].Observed := Observed;
  Items[K].Weight := Weight;
  Items[K].Time := Time;
  Items[K].Run := -1;
end;

procedure ReadObservations(OnlyIndex: LONGINT);
var
  Values, Weights, TimeSer, InSer: array of TDsfSeries;
  HasWeights: array of BOOLEAN;
  K, D, I, Lo0, Hi0, MinIdx, MaxIdx, C: LONGINT;
  V, W, T: DOUBLE;
  Any: BOOLEAN;
  Curve: TCurve;
  Tmp: TPoint;
begin
  SetLength(Values, ND);
  SetLength(Weights, ND);
  SetLength(HasWeights, ND);
  SetLength(InSer, NI);
  SetLength(TimeSer, 1);
  MinIdx := MaxInt;
  MaxIdx := -MaxInt;
  for D := 0 to ND - 1 do
  begin
    NeedSeries('.' + P + '.' + LsqDeps[D].Name + '.Value', Values[D]);
    HasWeights[D] := ReadSeries('.' + P + '.' + LsqDeps[D].Name + '.Weight', Weights[D]);
    if DsfIndexRange(Values[D], Lo0, Hi0) then
    begin
      MinIdx := Min(MinIdx, Lo0);
      MaxIdx := Max(MaxIdx, Hi0);
    end;
  end;
  for I := 0 to NI - 1 do
    NeedSeries('.' + P + '.' + LsqIndeps[I].Name + '.Value', InSer[I]);
  if Timed then
    NeedSeries('.' + P + '.Time.Value', TimeSer[0]);
  { Observations in index order; a weight of 0 drops one. }
  for K := MinIdx to MaxIdx do
  begin
    if (OnlyIndex >= 0) and (K <> OnlyIndex) then
      Continue;
    Any := False;
    for D := 0 to ND - 1 do
    begin
      if not DsfValue(Values[D], K, V) then
        Continue;
      { An index without a weight weighs 1. }
      if not (HasWeights[D] and DsfValue(Weights[D], K, W)) then
        W := 1.0;
      if W < 0.0 then
        Refuse('Negative weight ' + Num(W) + ' at index ' + IntToStr(K) + ' of '
          + Where('.' + P + '.' + LsqDeps[D].Name + '.Weight'));
      if W = 0.0 then
        Continue;
      T := 0.0;
      if Timed and not DsfValue(TimeSer[0], K, T) then
        Refuse('No time value at index ' + IntToStr(K) + ' of ' + Where('.' + P + '.Time.Value')
          + ' for the observation of ' + LsqDeps[D].Name);
      if not Timed and not Any then
      begin
        C := Length(Cases);
        SetLength(Cases, C + 1);
        Cases[C].Index := K;
        SetLength(Cases[C].Inputs, NI);
        for I := 0 to NI - 1 do
          if not DsfValue(InSer[I], K, Cases[C].Inputs[I]) then
            Refuse('No value at index ' + IntToStr(K) + ' of '
              + Where('.' + P + '.' + LsqIndeps[I].Name + '.Value') + ' for the observation there');
      end;
      Any := True;
      AddItem(K, D, V, W, T);
      if not Timed then
        Items[High(Items)].Run := High(Cases);
    end;
  end;
  if Length(Items) = 0 then
  begin
    if OnlyIndex >= 0 then
      Refuse('No observation at index ' + IntToStr(OnlyIndex) + ' (Controls[2]) in ' + StoreName)
    else
      Refuse('No observation in ' + Where('.' + P));
  end;
  if not Timed then
    Exit;
  { Each input over time: a value wherever there is a time. }
  SetLength(Hooks.Curves, NI);
  SetLength(Hooks.Trace, ND);
  for I := 0 to NI - 1 do
  begin
    SetLength(Curve, 0);
    if DsfIndexRange(TimeSer[0], Lo0, Hi0) then
      for K := Lo0 to Hi0 do
        if DsfValue(TimeSer[0], K, T) then
        begin
          if not DsfValue(InSer[I], K, V) then
            Refuse('No value at index ' + IntToStr(K) + ' of '
              + Where('.' + P + '.' + LsqIndeps[I].Name + '.Value') + ' for the time there');
          SetLength(Curve, Length(Curve) + 1);
          Curve[High(Curve)].T := T;
          Curve[High(Curve)].V := V;
        end;
    if DsfIndexRange(InSer[I], Lo0, Hi0) then
      for K := Lo0 to Hi0 do
        if DsfValue(InSer[I], K, V) and not DsfValue(TimeSer[0], K, T) then
          Refuse('No time value at index ' + IntToStr(K) + ' of ' + Where('.' + P + '.Time.Value')
            + ' for the value of ' + LsqIndeps[I].Name);
    if Length(Curve) = 0 then
      Refuse('No value in ' + Where('.' + P + '.' + LsqIndeps[I].Name + '.Value'));
    { Insertion sort by time keeps equal times in index order. }
    for K := 1 to High(Curve) do
    begin
      Tmp := Curve[K];
      C := K - 1;
      while (C >= 0) and (Curve[C].T > Tmp.T) do
      begin
        Curve[C + 1] := Curve[C];
        Dec(C);
      end;
      Curve[C + 1] := Tmp;
    end;
    Hooks.Curves[I] := Curve;
  end;
end;

procedure UseStartingTtr(const Prob: TPrbProblem);
var
  FileName, Detail: AnsiString;
  Values: array of DOUBLE;
  D, K, Replaced: LONGINT;
begin
  FileName := ResolveCaseBlind('STARTING.TTR');
  if not FileExists(FileName) then
    Refuse('STARTING.TTR not found in the problem directory (Controls[4] = 1 in ' + StoreName + ')');
  SetLength(Values, Count);
  if not TtrReadLast(FileName, D, Values, Count, Detail) then
  begin
    if D >= 0 then
      Refuse(FileName + ': ' + Detail + '; this problem has ' + IntToStr(Count) + ' variables')
    else
      Refuse(FileName + ': ' + Detail);
  end;
  if D + 1 <> Count then
    Refuse(FileName + ' holds ' + IntToStr(D + 1) + ' variables; this problem has ' + IntToStr(Count));
  Replaced := 0;
  for K := 0 to Count - 1 do
    if (Prob.Vars[K].Kind <> 'I*') and (Prob.Vars[K].Kind <> 'CO') then
    begin
      _Y[K].I := Values[K];
      _Y[K].O := Values[K];
      Inc(Replaced);
    end;
  Say('Start values of ' + IntToStr(Replaced) + ' variables from the last record of ' + FileName);
end;

{ A marker's name becomes a DSDir of the problem: one that is empty, too
  long for an entry, holds a path or pattern character or a blank, repeats
  another or is the problem's own Controls (or Time, over time) would read
  or write the wrong series. }
procedure CheckNames;
var
  Names: array of AnsiString;
  K, L: LONGINT;
  N: AnsiString;
begin
  SetLength(Names, 0);
  for K := 0 to NB - 1 do
  begin
    SetLength(Names, Length(Names) + 1);
    Names[High(Names)] := LsqBetas[K].Name;
  end;
  for K := 0 to ND - 1 do
  begin
    SetLength(Names, Length(Names) + 1);
    Names[High(Names)] := LsqDeps[K].Name;
  end;
  for K := 0 to NI - 1 do
  begin
    SetLength(Names, Length(Names) + 1);
    Names[High(Names)] := LsqIndeps[K].Name;
  end;
  for K := 0 to High(Names) do
  begin
    N := UpperCase(Names[K]);
    if (N = '') or (Length(N) > 25) or (LastDelimiter('.&*? ', N) > 0) or (N = 'CONTROLS')
      or (Timed and (N = 'TIME')) then
      Refuse('Bad LSQ name: ' + Names[K]);
    for L := 0 to K - 1 do
      if UpperCase(Names[L]) = N then
        Refuse('Bad LSQ name: ' + Names[K]);
  end;
end;

function VariableIndex(const What, Name: AnsiString; X: PXVR): LONGINT;
begin
  Result := StateIndex(X^);
  if (Result < 0) or (Result >= Count) then
    Refuse(What + ' ' + Name + ' is not a variable of the model''s state');
end;

{ ---- Report ---- }

procedure WriteReport(const FileName: AnsiString);
var
  Text: AnsiString;
  Bytes: array of BYTE;
  K: LONGINT;
  Detail: AnsiString;
begin
  Text := '';
  for K := 0 to High(Lines) do
    Text := Text + Lines[K] + #13#10;
  SetLength(Bytes, Length(Text));
  if Length(Text) > 0 then
    Move(Text[1], Bytes[0], Length(Text));
  if not WriteAll(FileName, Bytes, Detail) then
    Stop(ExitWriteError, 'Report ' + FileName + ' not written: ' + Detail + '.');
end;

procedure LsqFit(var Prob: TPrbProblem; var Model: TNewtonModel; const Name: AnsiString;
  Report, Setup, TimeSet, AddSet, UserBpr: TUserProc);
var
  Detail, Why, TtrWhy, TtrName, ReportName: AnsiString;
  Kind, K, I, OnlyIndex, Iterations, Points, Last: LONGINT;
  B, R, XOut: TVec;
  S, V: DOUBLE;
  SeText: array of AnsiString;
  Converged: BOOLEAN;
  SearchStart, SearchEvaluations: Int64;
  Headline: AnsiString;
  Paths: array of AnsiString;
  Ttr: TTtrWriter;
  Outcome: TRunOutcome;
  Started: TDateTime;
  IsDir: BOOLEAN;
  Scratch: TDsfSeries;
begin
  Started := Now;
  TheModel := @Model;
  PSetup := Setup;
  PTimeSet := TimeSet;
  PAddSet := AddSet;
  PReport := Report;
  Count := Length(Prob.Vars);
  Timed := LsqTimed;
  P := LsqProblem;
  NB := Length(LsqBetas);
  ND := Length(LsqDeps);
  NI := Length(LsqIndeps);
  Hooks := TFitHooks.Create;
  Store.Fd := -1;
  StoreName := LsqDsf + '.DSF';
  WriteLn('Least-squares fit of ', P, ' in ', StoreName);

  if NB = 0 then
    Refuse('PARSET names no parameter (_LSQBETA) to estimate');
  if NB > MaxBetas then
    Refuse('PARSET names ' + IntToStr(NB) + ' parameters (_LSQBETA); at most ' + IntToStr(MaxBetas)
      + ' are estimated');
  if ND = 0 then
    Refuse('PARSET names no observed variable (LSQDEP)');
  CheckNames;
  SetLength(DepVar, ND);
  SetLength(InVar, NI);
  SetLength(DepExact, ND);
  AllExact := True;
  for K := 0 to ND - 1 do
  begin
    DepVar[K] := VariableIndex('Observed variable', LsqDeps[K].Name, LsqDeps[K].X);
    DepExact[K] := ReadsNoSolved(DepVar[K]);
    AllExact := AllExact and DepExact[K];
  end;
  for K := 0 to NI - 1 do
    InVar[K] := VariableIndex('Input', LsqIndeps[K].Name, LsqIndeps[K].X);

  StoreFile := ResolveCaseBlind(StoreName);
  if not FileExists(StoreFile) then
    Refuse('Data-series store ' + StoreName + ' not found in the problem directory');
  if not DsfOpen(Store, StoreFile, Detail) then
    Refuse('Data-series store ' + StoreFile + ': ' + Detail);
  StoreName := StoreFile;

  case DsfFindPath(Store, '.' + P, I, IsDir, Detail) of
    dsfMissing:
      Refuse('LSQ problem ' + P + ' not found in ' + StoreName);
    dsfDamaged:
      Refuse('Data-series store ' + StoreName + ': ' + Detail + ' (reading .' + P + ')');
  end;
  if not IsDir then
    Refuse('LSQ problem ' + P + ' not found in ' + StoreName + ' (.' + P + ' is a series)');
  NeedSeries('.' + P + '.Controls', Controls);
  if not ControlValue(0, S) then
    Refuse('No run kind at index 0 of ' + Where('.' + P + '.Controls'));
  Kind := Round(S);
  if (Kind < 0) or (Kind > 2) or (Abs(S - Kind) > 1.0E-6) then
    Refuse('Run kind ' + Num(S) + ' at index 0 of ' + Where('.' + P + '.Controls')
      + ' is not 0, 1 or 2');
  Debug := Control(5, 0) = 1;
  OnlyIndex := -1;
  if (Kind = 0) and not Timed and (Control(1, 0) = 1) then
    OnlyIndex := Control(2, 0);

  ReadParameters;
  ReadObservations(OnlyIndex);
  if Kind <> 0 then
  begin
    SetLength(Paths, NB);
    for K := 0 to NB - 1 do
    begin
      Paths[K] := '.' + P + '.' + LsqBetas[K].Name + '.Value';
      NeedSeries(Paths[K], Scratch);
    end;
  end;
  DsfClose(Store);

  Say('Least-squares fit of ' + P + ' in ' + StoreName + ', problem ' + Prob.FileName);
  Say('Run kind ' + IntToStr(Kind) + ': ' + KindNames[Kind]);
  if not Timed and (Control(4, 0) = 1) then
    UseStartingTtr(Prob);
  SetLength(StartY, Count);
  Move(_Y[0], StartY[0], Count * SizeOf(XVR));

  if Timed then
    Say('Observations: ' + IntToStr(Length(Items)) + ', from one run over time')
  else
    Say('Observations: ' + IntToStr(Length(Items)) + ', from ' + IntToStr(Length(Cases))
      + ' runs of the model each');
  for K := 0 to NB - 1 do
  begin
    if HasLo[K] or HasHi[K] then
      if Clamp(K, Start[K]) <> Start[K] then
      begin
        Say('Start of ' + LsqBetas[K].Name + ' ' + Num(Start[K]) + ' moved into its range: '
          + Num(Clamp(K, Start[K])));
        Start[K] := Clamp(K, Start[K]);
      end;
  end;

  B := Copy(Start);
  Iterations := 0;
  Converged := True;
  if Kind <> 2 then
    if not Evaluate(B, R, S) then
      Stop(ExitFailed, 'The model fails at the starting parameters:' + ParamList(B) + ': ' + LastFailure
        + '. Nothing written.');
  SearchStart := Evaluations;
  case Kind of
    0:
      begin
        Why := 'one trial at the starting parameters';
        Headline := 'One trial at the starting parameters, no search';
      end;
    1:
      begin
        MarquardtSearch(B, R, S, Why, Converged, Iterations);
        if Converged then
          Headline := 'Converged after ' + IntToStr(Iterations) + ' iterations: ' + Why
        else
          Headline := 'NOT CONVERGED after ' + IntToStr(Iterations) + ' iterations: ' + Why
            + '. The values below, written into the .Value series, are the best point found, not a minimum.';
        Why := Why + ' after ' + IntToStr(Iterations) + ' iterations';
      end;
    2:
      begin
        GridSearch(B, R, S, Why, Points);
        Headline := 'The ' + Why + ', no search between them';
      end;
  end;
  SearchEvaluations := Evaluations - SearchStart;

  { The estimates as the model sees them and the store keeps them. }
  Say('');
  case Kind of
    0: Say('Parameters of the trial:');
    1: if Converged then Say('Estimates:') else Say('Best point found (not converged):');
    2: Say('Best grid point:');
  end;
  for K := 0 to NB - 1 do
    Say(LsqBetas[K].Name + ' = ' + Num(B[K]));
  Say('Weighted sum of squares = ' + Num(S));

  SetLength(SeText, NB);
  StandardErrors(B, R, S, SeText);
  Say('Standard errors: from the covariance (J''WJ)^-1 S / (n - p) at these values, n - p = '
    + IntToStr(Length(Items) - NB));
  for K := 0 to NB - 1 do
    Say('  ' + LsqBetas[K].Name + ': ' + SeText[K]);

  Say('Residuals (index, variable, observed, model, weight, residual):');
  for K := 0 to High(Items) do
  begin
    V := R[K] / Sqrt(Items[K].Weight);
    Say('  ' + IntToStr(Items[K].Index) + ' ' + LsqDeps[Items[K].Dep].Name + ' '
      + Num(Items[K].Observed) + ' ' + Num(Items[K].Observed + V) + ' ' + Num(Items[K].Weight) + ' '
      + Num(V));
  end;
  if Length(LsqRunNames) > 0 then
  begin
    Detail := '';
    for K := 0 to High(LsqRunNames) do
      Detail := Detail + ' ' + LsqRunNames[K];
    Say('Run names:' + Detail);
  end;
  Say('Stopped: ' + Why);
  if Kind = 1 then
  begin
    Detail := 'Search: ' + IntToStr(Iterations) + ' iterations, ' + IntToStr(SearchEvaluations)
      + ' evaluations over the observations';
    if Iterations > 0 then
      Detail := Detail + ', ' + FloatToStrF(SearchEvaluations / Iterations, ffFixed, 12, 2) + ' per iteration';
    Say(Detail + ' (the sensitivities and one trial take ' + IntToStr(NB + 1) + ')');
  end;
  if AllExact then
    Detail := ' (each observed variable comes straight from its equation)'
  else if Precision = MachEps then
    Detail := ' (Newton''s steps left no residual)'
  else
    Detail := ' (what Newton''s tolerance NEWTONTOL = ' + Num(NEWTONTOL) + ' leaves)';
  Say('Precision of the model''s values: about ' + FloatToStrF(Precision, ffGeneral, 2, 0)
    + ' of their scales' + Detail + '; relative difference steps ' + FloatToStrF(Sqrt(Precision), ffGeneral, 2, 0)
    + ' (search), ' + FloatToStrF(Power(Precision, 1.0 / 3.0), ffGeneral, 2, 0) + ' (standard errors)');

  { The estimates into the store, for the worksheet. }
  if Kind <> 0 then
  begin
    case DsfWriteOneValues(StoreFile, Paths, B, Detail) of
      0: ;
      1: Stop(ExitWriteError, 'Estimates not written into ' + StoreFile + ': ' + Detail + '.');
    else
      Stop(ExitWriteError, 'Estimates not written into ' + StoreFile + ': ' + Detail + '.');
    end;
    if Converged then
      Say('Estimates written into the .Value series of ' + StoreFile + ' (single precision, about 7 digits)')
    else
      Say('Best point found written into the .Value series of ' + StoreFile
        + ' (single precision, about 7 digits)');
  end;

  { The last run at the estimates leaves its trajectory and X out. }
  TtrName := ResolveCaseBlind(Name + '.TTR');
  if not TtrCreate(Ttr, TtrName, _CMPLABEL, Count, TtrWhy) then
    Stop(ExitWriteError, 'Trajectory file ' + TtrName + ' could not be created: ' + TtrWhy + '.');
  SetLength(XOut, Count);
  if Timed then
    Last := -1
  else
    Last := High(Cases);
  OneRun(B, Last, @Ttr, XOut, Outcome);
  case Outcome of
    runFailed:
      begin
        { The records solved so far are the run's trajectory. }
        if not TtrCommit(Ttr, TtrWhy) then
          Stop(ExitWriteError, 'The last run at the estimates failed: ' + LastFailure + '; writing '
            + TtrName + ' failed: ' + TtrWhy + '. ' + TtrName + ' is left as it was.');
        Stop(ExitFailed, 'The last run at the estimates failed: ' + LastFailure + '.');
      end;
    runWriteFailed:
      begin
        TtrAbandon(Ttr);
        Stop(ExitWriteError, 'Writing record ' + IntToStr(Ttr.FailedAt) + ' of the trajectory file '
          + TtrName + ' failed: ' + Ttr.Error + '. ' + TtrName + ' is left as it was.');
      end;
  end;
  if not TtrCommit(Ttr, TtrWhy) then
    Stop(ExitWriteError, 'Writing the trajectory file ' + TtrName + ' failed: ' + TtrWhy + '. ' + TtrName
      + ' is left as it was.');
  UserBpr;
  if not WriteXOut(Prob, XOut, Detail) then
    Stop(ExitWriteError, 'X out not written: problem file ' + Prob.FileName + ': ' + Detail + '.');

  Say('Model runs: ' + IntToStr(Runs) + ', evaluations over the observations: ' + IntToStr(Evaluations) + ', time '
    + FloatToStrF((Now - Started) * 86400.0, ffFixed, 12, 3) + ' s');
  { How it ended comes second, right after what was fitted. }
  SetLength(Lines, Length(Lines) + 1);
  for K := High(Lines) downto 2 do
    Lines[K] := Lines[K - 1];
  Lines[1] := Headline;
  ReportName := Name + '.LSQ';
  if FileExists(ResolveCaseBlind(ReportName)) then
    ReportName := ResolveCaseBlind(ReportName);
  WriteReport(ReportName);
  for K := 0 to High(Lines) do
    WriteLn(Lines[K]);
  if not Converged then
  begin
    WriteLn('Not converged: ', Why, '. The best point found is in ', ReportName, ', the .Value series, ',
      TtrName, ' and X out in ', Prob.FileName);
    Halt(ExitFailed);
  end;
  WriteLn('Finished: report in ', ReportName, ', trajectory in ', TtrName, ', X out in ', Prob.FileName);
  Halt(ExitOk);
end;

end.
