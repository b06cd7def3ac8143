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
  from Start with forward-difference sensitivities (p + 1 evaluations at
  most per iteration: p for the sensitivities, one trial point, kept inside
  the bounds); 2 the best point of a grid over the ranges. }

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
  SysUtils, Math, KRVPROCS, KRVTTR, KRVDSF, DPARPROC;

const
  MaxBetas = 15;
  MaxIterations = 200;
  MaxGridPoints = 100000;
  RelChangeStop = 1.0E-12;
  StepStop = 1.0E-9;
  KindNames: array[0..2] of AnsiString = ('One trial at starting parameter values',
    'Nonlinear search from starting parameters', 'Grid search over ranges of parameter values');

type
  TVec = array of DOUBLE;

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
  Start, Lo, Hi, Delta: TVec;
  HasLo, HasHi: array of BOOLEAN;
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
    Trace[K][JT] := Values[DepVar[K]];
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
        M[K] := XOut[DepVar[Items[K].Dep]];
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

{ Solves A x = G by Gaussian elimination with partial pivoting; False when singular. }
function SolveLinear(A: TVec; G: TVec; N: LONGINT; var X: TVec): BOOLEAN;
var
  I, J, K, Piv: LONGINT;
  T, Big: DOUBLE;
begin
  SetLength(X, N);
  for K := 0 to N - 1 do
  begin
    Piv := K;
    Big := Abs(A[K * N + K]);
    for I := K + 1 to N - 1 do
      if Abs(A[I * N + K]) > Big then
      begin
        Big := Abs(A[I * N + K]);
        Piv := I;
      end;
    if not (Big > 0.0) then
      Exit(False);
    if Piv <> K then
    begin
      for J := 0 to N - 1 do
      begin
        T := A[K * N + J];
        A[K * N + J] := A[Piv * N + J];
        A[Piv * N + J] := T;
      end;
      T := G[K];
      G[K] := G[Piv];
      G[Piv] := T;
    end;
    for I := K + 1 to N - 1 do
    begin
      T := A[I * N + K] / A[K * N + K];
      for J := K to N - 1 do
        A[I * N + J] := A[I * N + J] - T * A[K * N + J];
      G[I] := G[I] - T * G[K];
    end;
  end;
  for K := N - 1 downto 0 do
  begin
    T := G[K];
    for J := K + 1 to N - 1 do
      T := T - A[K * N + J] * X[J];
    X[K] := T / A[K * N + K];
  end;
  Result := True;
end;

function Clamp(K: LONGINT; X: DOUBLE): DOUBLE;
begin
  Result := X;
  if HasLo[K] and (Result < Lo[K]) then
    Result := Lo[K];
  if HasHi[K] and (Result > Hi[K]) then
    Result := Hi[K];
end;

{ Forward-difference sensitivities of the weighted residuals at B (residuals
  R there) into J (column k at k * n); False when the model fails on both
  sides of a parameter. }
function Sensitivities(const B, R: TVec; var J: TVec): BOOLEAN;
var
  K, I, N: LONGINT;
  H, Used: DOUBLE;
  BK, RK: TVec;
  SK: DOUBLE;
  Ok: BOOLEAN;
begin
  N := Length(Items);
  SetLength(J, N * NB);
  for K := 0 to NB - 1 do
  begin
    if Delta[K] > 0.0 then
      H := Delta[K]
    else if LsqBetas[K].PD <> nil then
      H := 1.0E-7 * Max(Abs(B[K]), 1.0E-3)
    else
      H := 1.0E-6 * Max(Abs(B[K]), 1.0E-3);
    BK := Copy(B);
    if HasHi[K] and (B[K] + H > Hi[K]) then
      H := -H;
    BK[K] := B[K] + H;
    Used := SeenValue(K, BK[K]) - SeenValue(K, B[K]);
    Ok := (Used <> 0.0) and Evaluate(BK, RK, SK);
    if not Ok then
    begin
      H := -H;
      BK[K] := Clamp(K, B[K] + H);
      Used := SeenValue(K, BK[K]) - SeenValue(K, B[K]);
      Ok := (Used <> 0.0) and Evaluate(BK, RK, SK);
    end;
    if not Ok then
      Exit(False);
    for I := 0 to N - 1 do
      J[K * N + I] := (RK[I] - R[I]) / Used;
  end;
  Result := True;
end;

{ J'J and J'R. }
procedure Normal(const J, R: TVec; var A, G: TVec);
var
  K, L, I, N: LONGINT;
  T: DOUBLE;
begin
  N := Length(Items);
  SetLength(A, NB * NB);
  SetLength(G, NB);
  for K := 0 to NB - 1 do
  begin
    for L := K to NB - 1 do
    begin
      T := 0.0;
      for I := 0 to N - 1 do
        T := T + J[K * N + I] * J[L * N + I];
      A[K * NB + L] := T;
      A[L * NB + K] := T;
    end;
    T := 0.0;
    for I := 0 to N - 1 do
      T := T + J[K * N + I] * R[I];
    G[K] := T;
  end;
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

{ ---- The searches ---- }

procedure MarquardtSearch(var B: TVec; var S: DOUBLE; out Why: AnsiString; out Iterations: LONGINT);
var
  R, J, A, G, AD, GF, DF, D, T, RT: TVec;
  Free: array of BOOLEAN;
  ST, Lambda, Rel: DOUBLE;
  NeedJ, Tiny: BOOLEAN;
  K, I, L, M, NF: LONGINT;
begin
  Iterations := 0;
  if not Evaluate(B, R, S) then
    Stop(ExitFailed, 'The model fails at the starting parameters:' + ParamList(B) + ': ' + LastFailure
      + '. Nothing written.');
  Lambda := 1.0E-3;
  NeedJ := True;
  Why := '';
  while True do
  begin
    if S = 0.0 then
    begin
      Why := 'the sum of squares is 0';
      Break;
    end;
    if Iterations >= MaxIterations then
    begin
      Why := 'the limit of ' + IntToStr(MaxIterations) + ' iterations was reached';
      Break;
    end;
    Inc(Iterations);
    if NeedJ then
    begin
      if not Sensitivities(B, R, J) then
      begin
        Why := 'the model fails next to the parameters: ' + LastFailure;
        Break;
      end;
      Normal(J, R, A, G);
      NeedJ := False;
    end;
    { A parameter held at a bound that the descent would push past stays
      there; the step is solved for the others. }
    NF := 0;
    SetLength(Free, NB);
    for K := 0 to NB - 1 do
    begin
      Free[K] := not ((HasHi[K] and (B[K] >= Hi[K]) and (G[K] < 0.0))
        or (HasLo[K] and (B[K] <= Lo[K]) and (G[K] > 0.0)));
      if Free[K] then
        Inc(NF);
    end;
    SetLength(D, NB);
    for K := 0 to NB - 1 do
      D[K] := 0.0;
    if NF = 0 then
    begin
      Why := 'every parameter is held at a bound';
      Break;
    end;
    SetLength(AD, NF * NF);
    SetLength(GF, NF);
    I := 0;
    for K := 0 to NB - 1 do
      if Free[K] then
      begin
        L := 0;
        for M := 0 to NB - 1 do
          if Free[M] then
          begin
            AD[I * NF + L] := A[K * NB + M];
            Inc(L);
          end;
        AD[I * NF + I] := A[K * NB + K] + Lambda * Max(A[K * NB + K], 1.0E-30);
        GF[I] := -G[K];
        Inc(I);
      end;
    if not SolveLinear(AD, GF, NF, DF) then
    begin
      Why := 'the sensitivities are all 0 for some parameter';
      Break;
    end;
    I := 0;
    for K := 0 to NB - 1 do
      if Free[K] then
      begin
        D[K] := DF[I];
        Inc(I);
      end;
    SetLength(T, NB);
    Tiny := True;
    for K := 0 to NB - 1 do
    begin
      T[K] := Clamp(K, B[K] + D[K]);
      if Abs(T[K] - B[K]) > StepStop * Abs(B[K]) then
        Tiny := False;
    end;
    if Tiny then
    begin
      Why := 'every step is below 1e-9 of its parameter';
      Break;
    end;
    if not Evaluate(T, RT, ST) then
      ST := Infinity;
    if ST < S then
    begin
      Rel := (S - ST) / S;
      B := T;
      R := RT;
      S := ST;
      NeedJ := True;
      Lambda := Max(Lambda / 10.0, 1.0E-12);
      DebugLine('Iteration ' + IntToStr(Iterations) + ': sum ' + Num(S) + ', lambda ' + Num(Lambda)
        + ',' + ParamList(B));
      if Rel < RelChangeStop then
      begin
        Why := 'the sum''s relative change is below 1e-12';
        Break;
      end;
    end
    else
    begin
      Lambda := Lambda * 10.0;
      DebugLine('Iteration ' + IntToStr(Iterations) + ': trial rejected (sum ' + Num(ST) + '), lambda '
        + Num(Lambda));
      if Lambda > 1.0E16 then
      begin
        Why := 'no step lowers the sum further';
        Break;
      end;
    end;
  end;
end;

procedure GridSearch(var B: TVec; var S: DOUBLE; out Why: AnsiString; out Points: LONGINT);
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
  Detail, Why, TtrName, ReportName: AnsiString;
  Kind, K, I, OnlyIndex, Iterations, Points, Last: LONGINT;
  B, R, M, JS, A, G, Cov, E, XOut: TVec;
  S, S2: DOUBLE;
  Paths: array of AnsiString;
  Ttr: TTtrWriter;
  Outcome: TRunOutcome;
  Started: TDateTime;
  SeOk, IsDir: BOOLEAN;
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
  for K := 0 to ND - 1 do
    DepVar[K] := VariableIndex('Observed variable', LsqDeps[K].Name, LsqDeps[K].X);
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
  case Kind of
    0:
      begin
        if not Evaluate(B, R, S) then
          Stop(ExitFailed, 'The model fails at the starting parameters:' + ParamList(B) + ': ' + LastFailure
            + '. Nothing written.');
        Why := 'one trial at the starting parameters';
      end;
    1:
      begin
        MarquardtSearch(B, S, Why, Iterations);
        Why := Why + ' after ' + IntToStr(Iterations) + ' iterations';
      end;
    2:
      GridSearch(B, S, Why, Points);
  end;

  { The estimates as the model sees them and the store keeps them. }
  Say('');
  for K := 0 to NB - 1 do
    Say(LsqBetas[K].Name + ' = ' + Num(B[K]));
  Say('Weighted sum of squares = ' + Num(S));

  { Standard errors from the sensitivities at the estimates. }
  Evaluate(B, R, S2);
  SeOk := (Length(Items) > NB) and Sensitivities(B, R, JS);
  if SeOk then
  begin
    Normal(JS, R, A, G);
    SetLength(Cov, NB);
    for K := 0 to NB - 1 do
    begin
      SetLength(E, NB);
      for I := 0 to NB - 1 do
        E[I] := 0.0;
      E[K] := 1.0;
      if not SolveLinear(A, E, NB, M) then
      begin
        SeOk := False;
        Break;
      end;
      Cov[K] := M[K] * S / (Length(Items) - NB);
    end;
  end;
  Say('Standard errors:');
  for K := 0 to NB - 1 do
    if SeOk and (Cov[K] >= 0.0) then
      Say('  ' + LsqBetas[K].Name + ': ' + Num(Sqrt(Cov[K])))
    else
      Say('  ' + LsqBetas[K].Name + ': not available');

  Say('Residuals (index, variable, observed, model, weight, residual):');
  if ModelValues(B, M) then
    for K := 0 to High(Items) do
      Say('  ' + IntToStr(Items[K].Index) + ' ' + LsqDeps[Items[K].Dep].Name + ' '
        + Num(Items[K].Observed) + ' ' + Num(M[K]) + ' ' + Num(Items[K].Weight) + ' '
        + Num(M[K] - Items[K].Observed));
  if Length(LsqRunNames) > 0 then
  begin
    Detail := '';
    for K := 0 to High(LsqRunNames) do
      Detail := Detail + ' ' + LsqRunNames[K];
    Say('Run names:' + Detail);
  end;
  Say('Stopped: ' + Why);

  { The estimates into the store, for the worksheet. }
  if Kind <> 0 then
  begin
    case DsfWriteOneValues(StoreFile, Paths, B, Detail) of
      0: ;
      1: Stop(ExitWriteError, 'Estimates not written into ' + StoreFile + ': ' + Detail + '.');
    else
      Stop(ExitWriteError, 'Estimates not written into ' + StoreFile + ': ' + Detail + '.');
    end;
    Say('Estimates written into the .Value series of ' + StoreFile);
  end;

  { The last run at the estimates leaves its trajectory and X out. }
  TtrName := ResolveCaseBlind(Name + '.TTR');
  if not TtrCreate(Ttr, TtrName, _CMPLABEL, Count) then
    Stop(ExitWriteError, 'Trajectory file ' + TtrName + ' could not be created.');
  SetLength(XOut, Count);
  if Timed then
    Last := -1
  else
    Last := High(Cases);
  OneRun(B, Last, @Ttr, XOut, Outcome);
  TtrClose(Ttr);
  case Outcome of
    runFailed:
      Stop(ExitFailed, 'The last run at the estimates failed: ' + LastFailure + '.');
    runWriteFailed:
      Stop(ExitWriteError, 'Writing the trajectory file ' + TtrName + ' failed.');
  end;
  UserBpr;
  if not WriteXOut(Prob, XOut, Detail) then
    Stop(ExitWriteError, 'X out not written: problem file ' + Prob.FileName + ': ' + Detail + '.');

  Say('Model runs: ' + IntToStr(Runs) + ', evaluations over the observations: ' + IntToStr(Evaluations) + ', time '
    + FloatToStrF((Now - Started) * 86400.0, ffFixed, 12, 3) + ' s');
  ReportName := Name + '.LSQ';
  if FileExists(ResolveCaseBlind(ReportName)) then
    ReportName := ResolveCaseBlind(ReportName);
  WriteReport(ReportName);
  for K := 0 to High(Lines) do
    WriteLn(Lines[K]);
  WriteLn('Finished: report in ', ReportName, ', trajectory in ', TtrName, ', X out in ', Prob.FileName);
  Halt(ExitOk);
end;

end.
