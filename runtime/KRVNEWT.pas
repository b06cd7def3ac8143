{ Solver runtime: Newton's method on the ordered equations of one time step, with a sparse finite-difference Jacobian. }
unit KRVNEWT;

{ Each time step solves g(x) = 0, where x are the I values of the ordering's
  column variables and g_p = O - I of the variable of row p (for a fixing
  pair's row the I is the fixed value, X in). The Jacobian is taken by finite
  differences over the known nonzeros: columns that share no row are
  perturbed together, their change flags set and _BS false, so that only the
  equations a perturbation reaches run again. The Newton step is found block
  by block in the ordering's block lower-triangular order: a block is reduced
  to its torn (spike) columns, the others following by substitution, and a
  small dense system over the torn columns closes it.

  The Jacobian and its factors are kept across iterations and time steps (a
  chord iteration) while they serve: an iteration with a kept Jacobian must
  cut the largest residual to at most ChordRate of what it was. One that
  cuts it less is kept but the next iteration takes a fresh Jacobian; one
  that does not cut it at all is undone and retried with a fresh Jacobian.
  Iterations with a fresh Jacobian are Newton's, with the step halved while
  it makes the residuals worse. On a linear model a step thus costs two runs
  of the model once a Jacobian fits. }

{$MODE Delphi}

interface

uses
  KRVPROCS, KRVPRB, KRVBLOCK;

type
  TSystemProc = procedure(T2T: BOOLEAN);

  TNewtonModel = record
    SysProc: TSystemProc;
    N, Count: LONGINT;
    RowVar, ColVar: array of LONGINT;
    IsColumn, IsRow: array of BOOLEAN;     { per variable }
    OutputOnly: array of BOOLEAN;          { computed, neither solved for nor fixed }
    Positive: array of BOOLEAN;            { per column }
    RowScale, ColScale: array of DOUBLE;
    Names: array of AnsiString;
    Matrix: TBlockMatrix;
    Colors: array of LONGINT;              { columns grouped by colour }
    ColorStart: array of LONGINT;
    BlockCount, SpikeCount: LONGINT;
    { Work done so far: runs of the whole model, and Jacobians, each a run
      of the equations that one group of perturbed columns reaches. }
    FullRuns, Jacobians, Colours: LONGINT;
    { The largest residual a solved step has left, in units of the
      tolerance, since the caller last set it to 0: the values are exact
      to about WorstNorm * NEWTONTOL of their scales. }
    WorstNorm: DOUBLE;
    Factored: BOOLEAN;                     { Matrix holds factors that may serve }
    G, OBase, Delta, XOld, Saved, H: array of DOUBLE;
  end;

{ Builds the solver's structures from the ordering; '' or what is wrong. }
function NewtonPrepare(var M: TNewtonModel; const P: TPrbProblem;
  SysProc: TSystemProc): AnsiString;

{ Solves the current time step from the current state; '' or why it failed. }
function NewtonSolveStep(var M: TNewtonModel; out Iterations: LONGINT): AnsiString;

{ The value of every variable after a solved step: I, or O for a variable
  that only the equations give; '' or why the values cannot be kept. }
function NewtonRecord(var M: TNewtonModel; var Values: array of DOUBLE): AnsiString;

implementation

uses
  SysUtils, Math;

const
  FdRelStep = 1.5E-8;
  MinStepFraction = 1.0 / 64.0;
  MaxSingleValue = 3.4E38;
  ChordRate = 0.1;
  ChordTarget = 0.1;

function Scale(const V: TPrbVariable): DOUBLE;
begin
  if (V.Range > 0.0) and (V.Range < 1.0E300) then
    Result := V.Range
  else
    Result := Max(1.0, Abs(V.XIn));
end;

procedure ColourColumns(var M: TNewtonModel);
var
  ColorOf, Forbid, Counts: array of LONGINT;
  J, K, L, C, Used: LONGINT;
begin
  SetLength(ColorOf, M.N);
  SetLength(Forbid, M.N + 1);
  for J := 0 to M.N - 1 do
    ColorOf[J] := -1;
  for C := 0 to M.N do
    Forbid[C] := -1;
  Used := 0;
  for J := 0 to M.N - 1 do
  begin
    for K := M.Matrix.ColStart[J] to M.Matrix.ColStart[J + 1] - 1 do
      with M.Matrix do
        for L := RowStart[ColRow[K]] to RowStart[ColRow[K] + 1] - 1 do
          if ColorOf[RowCol[L]] >= 0 then
            Forbid[ColorOf[RowCol[L]]] := J;
    C := 0;
    while Forbid[C] = J do
      Inc(C);
    ColorOf[J] := C;
    if C + 1 > Used then
      Used := C + 1;
  end;
  SetLength(Counts, Used + 1);
  for J := 0 to M.N - 1 do
    Inc(Counts[ColorOf[J] + 1]);
  SetLength(M.ColorStart, Used + 1);
  M.ColorStart[0] := 0;
  for C := 1 to Used do
    M.ColorStart[C] := M.ColorStart[C - 1] + Counts[C];
  SetLength(M.Colors, M.N);
  for C := 0 to Used do
    Counts[C] := 0;
  for J := 0 to M.N - 1 do
  begin
    C := ColorOf[J];
    M.Colors[M.ColorStart[C] + Counts[C]] := J;
    Inc(Counts[C]);
  end;
end;

function NewtonPrepare(var M: TNewtonModel; const P: TPrbProblem;
  SysProc: TSystemProc): AnsiString;
var
  K, V: LONGINT;
begin
  M.SysProc := SysProc;
  M.N := P.N;
  M.Count := Length(P.Vars);
  M.RowVar := Copy(P.RowVar);
  M.ColVar := Copy(P.ColVar);
  SetLength(M.IsColumn, M.Count);
  SetLength(M.IsRow, M.Count);
  SetLength(M.Names, M.Count);
  SetLength(M.OutputOnly, M.Count);
  for K := 0 to M.Count - 1 do
    M.Names[K] := P.Vars[K].Name;
  SetLength(M.Positive, M.N);
  SetLength(M.RowScale, M.N);
  SetLength(M.ColScale, M.N);
  for K := 0 to M.N - 1 do
  begin
    V := M.ColVar[K];
    M.IsColumn[V] := True;
    M.Positive[K] := P.Vars[V].Positive;
    M.ColScale[K] := Scale(P.Vars[V]);
    if M.Positive[K] and (_Y[V].I < 0.0) then
      _Y[V].I := 0.0;
    V := M.RowVar[K];
    M.IsRow[V] := True;
    M.RowScale[K] := Scale(P.Vars[V]);
  end;
  for K := 0 to M.Count - 1 do
    M.OutputOnly[K] := (P.Vars[K].Kind[2] = 'O') and not M.IsColumn[K] and not M.IsRow[K];
  Result := BuildBlockMatrix(M.Matrix, M.N, P.NzRow, P.NzCol);
  if Result <> '' then
    Exit;
  ColourColumns(M);
  M.Colours := High(M.ColorStart);
  M.FullRuns := 0;
  M.Jacobians := 0;
  M.WorstNorm := 0.0;
  M.Factored := False;
  M.BlockCount := Length(M.Matrix.BlockFirst);
  M.SpikeCount := 0;
  for K := 0 to M.N - 1 do
    if M.Matrix.Spike[K] then
      Inc(M.SpikeCount);
  SetLength(M.G, M.N);
  SetLength(M.OBase, M.N);
  SetLength(M.Delta, M.N);
  SetLength(M.XOld, M.N);
  SetLength(M.Saved, M.N);
  SetLength(M.H, M.N);
end;

procedure EvaluateAll(var M: TNewtonModel);
begin
  Inc(M.FullRuns);
  _BS := True;
  M.SysProc(False);
  _BS := False;
end;

{ Residuals into G; returns the largest residual in units of the tolerance,
  +Inf when one is not a number. Worst is its row. }
function Residuals(var M: TNewtonModel; out Worst: LONGINT): DOUBLE;
var
  P, V: LONGINT;
  G, R, Allowed: DOUBLE;
begin
  Result := 0.0;
  Worst := -1;
  for P := 0 to M.N - 1 do
  begin
    V := M.RowVar[P];
    G := _Y[V].O - _Y[V].I;
    M.G[P] := G;
    G := Abs(G);
    Allowed := NEWTONTOL * Max(M.RowScale[P], Abs(_Y[V].I));
    { Only a residual above the largest so far needs its ratio. NaN is
      tested by name: the compiler turns not (G <= X) into G > X, which
      NaN fails. }
    if IsNan(G) or (G > Result * Allowed) then
    begin
      R := G / Allowed;
      if IsNan(R) or (R > MaxDouble) then
      begin
        Worst := P;
        Exit(Infinity);
      end;
      if R > Result then
      begin
        Result := R;
        Worst := P;
      end;
    end;
  end;
end;

procedure BuildJacobian(var M: TNewtonModel);
var
  C, Q, J, V, K, P, RV: LONGINT;
  X, D: DOUBLE;
begin
  Inc(M.Jacobians);
  for P := 0 to M.N - 1 do
  begin
    M.OBase[P] := _Y[M.RowVar[P]].O;
    M.Matrix.RowMax[P] := 0.0;
  end;
  for C := 0 to High(M.ColorStart) - 1 do
  begin
    for Q := M.ColorStart[C] to M.ColorStart[C + 1] - 1 do
    begin
      J := M.Colors[Q];
      V := M.ColVar[J];
      X := _Y[V].I;
      M.Saved[J] := X;
      { The step actually taken, after rounding. }
      M.H[J] := (X + FdRelStep * Max(Abs(X), M.ColScale[J])) - X;
      _Y[V].I := X + M.H[J];
      _Y[V].D := True;
    end;
    _BS := False;
    M.SysProc(False);
    for Q := M.ColorStart[C] to M.ColorStart[C + 1] - 1 do
    begin
      J := M.Colors[Q];
      V := M.ColVar[J];
      with M.Matrix do
        for K := ColStart[J] to ColStart[J + 1] - 1 do
        begin
          P := ColRow[K];
          RV := M.RowVar[P];
          D := ((_Y[RV].O - _Y[RV].I) - M.G[P]) / M.H[J];
          Value[ColEntry[K]] := D;
          if Abs(D) > RowMax[P] then
            RowMax[P] := Abs(D);
        end;
    end;
    { Undo the perturbation: inputs back, and the outputs it reached. }
    for Q := M.ColorStart[C] to M.ColorStart[C + 1] - 1 do
    begin
      J := M.Colors[Q];
      V := M.ColVar[J];
      _Y[V].I := M.Saved[J];
      _Y[V].D := False;
      with M.Matrix do
        for K := ColStart[J] to ColStart[J + 1] - 1 do
          _Y[M.RowVar[ColRow[K]]].O := M.OBase[ColRow[K]];
    end;
  end;
end;

{ The columns at XOld + Lambda * Delta, held at 0 where they must not be
  negative; with Keep, XOld takes the columns' values first. }
procedure SetColumns(var M: TNewtonModel; Lambda: DOUBLE; Keep: BOOLEAN);
var
  J, V: LONGINT;
  X: DOUBLE;
begin
  for J := 0 to M.N - 1 do
  begin
    V := M.ColVar[J];
    if Keep then
      M.XOld[J] := _Y[V].I;
    X := M.XOld[J] + Lambda * M.Delta[J];
    if (X < 0.0) and M.Positive[J] then
      X := 0.0;
    _Y[V].I := X;
  end;
end;

function NewtonSolveStep(var M: TNewtonModel; out Iterations: LONGINT): AnsiString;
var
  Norm, NewNorm, Lambda: DOUBLE;
  Worst, J, Bad: LONGINT;
  Fresh, Chord: BOOLEAN;
begin
  Result := '';
  Iterations := 0;
  _QTLBADREF := False;
  EvaluateAll(M);
  Norm := Residuals(M, Worst);
  Chord := False;
  while (Norm > 1.0) or (Chord and (Norm > ChordTarget)) do
  begin
    if Norm = Infinity then
      Exit('The equation of ' + M.Names[M.RowVar[Worst]] + ' gives no number');
    if Iterations >= MAXITER then
      Exit('No convergence after ' + IntToStr(Iterations) + ' Newton iterations (largest residual in the equation of '
        + M.Names[M.RowVar[Worst]] + ')');
    Inc(Iterations);
    Fresh := not M.Factored;
    if Fresh then
    begin
      BuildJacobian(M);
      Bad := FactorBlockMatrix(M.Matrix);
      if Bad >= 0 then
        Exit('Singular block of ' + IntToStr(M.Matrix.BlockLast[Bad] - M.Matrix.BlockFirst[Bad] + 1)
          + ' equations at positions ' + IntToStr(M.Matrix.BlockFirst[Bad] + 1) + ' to '
          + IntToStr(M.Matrix.BlockLast[Bad] + 1) + ' (first: the equation of '
          + M.Names[M.RowVar[M.Matrix.BlockFirst[Bad]]] + ')');
      M.Factored := True;
    end;
    SolveFactored(M.Matrix, M.G, M.Delta);
    Chord := not Fresh;
    if not Fresh then
    begin
      SetColumns(M, 1.0, True);
      EvaluateAll(M);
      NewNorm := Residuals(M, Worst);
      if NewNorm < Norm then
      begin
        if NewNorm > ChordRate * Norm then
          M.Factored := False;
        Norm := NewNorm;
        Continue;
      end;
      { The kept Jacobian no longer fits: back, and again with a fresh one. }
      M.Factored := False;
      Chord := False;
      Dec(Iterations);
      for J := 0 to M.N - 1 do
        _Y[M.ColVar[J]].I := M.XOld[J];
      EvaluateAll(M);
      Norm := Residuals(M, Worst);
      Continue;
    end;
    { Halve the step while it makes the residuals worse. }
    Lambda := 1.0;
    repeat
      SetColumns(M, Lambda, Lambda = 1.0);
      EvaluateAll(M);
      NewNorm := Residuals(M, Worst);
      if (NewNorm < Norm) or (Lambda <= MinStepFraction) then
        Break;
      Lambda := Lambda / 2.0;
    until False;
    Norm := NewNorm;
  end;
  if Norm > M.WorstNorm then
    M.WorstNorm := Norm;
  if _QTLBADREF then
    Result := 'QTLINTEG or QTLDERIV was called on a variable outside the model state';
end;

function NewtonRecord(var M: TNewtonModel; var Values: array of DOUBLE): AnsiString;
var
  K: LONGINT;
  X: DOUBLE;
begin
  Result := '';
  for K := 0 to M.Count - 1 do
  begin
    { A variable that an equation gives without being solved for shows what
      the equation computed; a fixed variable keeps its fixed I. }
    if M.OutputOnly[K] then
      _Y[K].I := _Y[K].O;
    if M.IsRow[K] and not M.IsColumn[K] then
      X := _Y[K].O
    else
      X := _Y[K].I;
    if IsNan(X) or (Abs(X) > MaxSingleValue) then
      Exit('The value of ' + M.Names[K] + ' (' + FloatToStr(X) + ') is not a number or beyond the trajectory''s range');
    Values[K] := X;
  end;
end;

end.
