{ Solver runtime: the ordered sparse Jacobian and its block-by-block solution with torn columns. }
unit KRVBLOCK;

{ Positions are the ordering's, 0-based. The matrix is block lower
  triangular except for entries above the diagonal; every column holding one
  is a torn (spike) column. A block is the smallest run of positions that no
  such entry crosses. Within a block, the torn columns' values are the
  unknowns: every other position follows from its row by substitution, and
  the rows at the torn positions give as many equations, whose dense system is
  built from one substitution sweep per torn column. }

{$MODE Delphi}

interface

type
  TBlockMatrix = record
    N: LONGINT;
    ColStart, ColRow, ColEntry: array of LONGINT;   { by column }
    RowStart, RowCol, RowEntry: array of LONGINT;   { by row }
    Value: array of DOUBLE;                         { per distinct entry }
    Spike: array of BOOLEAN;                        { per column position }
    BlockFirst, BlockLast: array of LONGINT;
    { work space }
    Base, W, Dense, DenseRhs, Torn: array of DOUBLE;
    TornAt: array of LONGINT;
  end;

{ Builds the structure from 1-based (row, column) positions; an entry given
  twice is kept once. Returns '' or what is wrong. }
function BuildBlockMatrix(var A: TBlockMatrix; N: LONGINT;
  const NzRow, NzCol: array of LONGINT): AnsiString;

{ Solves A * Delta = Rhs block by block. Returns -1, or the index of the
  first block found singular. }
function SolveBlockMatrix(var A: TBlockMatrix; const Rhs: array of DOUBLE;
  var Delta: array of DOUBLE): LONGINT;

{ Dense solve of the K x K system in Mat (row-major) with partial pivoting;
  the solution replaces B. False when singular. }
function SolveDense(K: LONGINT; var Mat: array of DOUBLE; var B: array of DOUBLE): BOOLEAN;

implementation

uses
  Math;

const
  PivotRatio = 1.0E-12;
  { Blocks up to this size fall back to a dense solve when a substitution
    pivot vanishes although the block may not be singular. }
  DenseLimit = 400;

function BuildBlockMatrix(var A: TBlockMatrix; N: LONGINT;
  const NzRow, NzCol: array of LONGINT): AnsiString;
var
  Count, K, C, R, E, Q, Reach, Last, First: LONGINT;
  Mark, Fill, Order, RowReach: array of LONGINT;
begin
  Result := '';
  A.N := N;
  SetLength(A.ColStart, N + 1);
  SetLength(A.RowStart, N + 1);
  Count := Length(NzRow);
  for K := 0 to N do
    A.ColStart[K] := 0;
  { Counting sort by column, rows in the order given. }
  for K := 0 to Count - 1 do
    Inc(A.ColStart[NzCol[K]]);
  for K := 1 to N do
    Inc(A.ColStart[K], A.ColStart[K - 1]);
  SetLength(Order, Count);
  SetLength(Fill, N);
  for C := 0 to N - 1 do
    Fill[C] := 0;
  for K := 0 to Count - 1 do
  begin
    C := NzCol[K] - 1;
    Order[A.ColStart[C] + Fill[C]] := K;
    Inc(Fill[C]);
  end;
  { Drop repeated entries within each column. }
  SetLength(Mark, N);
  for R := 0 to N - 1 do
    Mark[R] := -1;
  SetLength(A.ColRow, Count);
  SetLength(A.ColEntry, Count);
  E := 0;
  for C := 0 to N - 1 do
  begin
    First := E;
    for Q := A.ColStart[C] to A.ColStart[C + 1] - 1 do
    begin
      R := NzRow[Order[Q]] - 1;
      if Mark[R] = C then
        Continue;
      Mark[R] := C;
      A.ColRow[E] := R;
      A.ColEntry[E] := E;
      Inc(E);
    end;
    A.ColStart[C] := First;
  end;
  A.ColStart[N] := E;
  SetLength(A.ColRow, E);
  SetLength(A.ColEntry, E);
  SetLength(A.Value, E);
  { Row lists. }
  for K := 0 to N do
    A.RowStart[K] := 0;
  for K := 0 to E - 1 do
    Inc(A.RowStart[A.ColRow[K] + 1]);
  for K := 1 to N do
    Inc(A.RowStart[K], A.RowStart[K - 1]);
  for R := 0 to N - 1 do
    Fill[R] := 0;
  SetLength(A.RowCol, E);
  SetLength(A.RowEntry, E);
  for C := 0 to N - 1 do
    for K := A.ColStart[C] to A.ColStart[C + 1] - 1 do
    begin
      R := A.ColRow[K];
      A.RowCol[A.RowStart[R] + Fill[R]] := C;
      A.RowEntry[A.RowStart[R] + Fill[R]] := A.ColEntry[K];
      Inc(Fill[R]);
    end;
  { Torn columns and blocks. }
  SetLength(A.Spike, N);
  SetLength(RowReach, N);
  for R := 0 to N - 1 do
  begin
    A.Spike[R] := False;
    RowReach[R] := R;
  end;
  for R := 0 to N - 1 do
    for K := A.RowStart[R] to A.RowStart[R + 1] - 1 do
      if A.RowCol[K] > R then
      begin
        A.Spike[A.RowCol[K]] := True;
        if A.RowCol[K] > RowReach[R] then
          RowReach[R] := A.RowCol[K];
      end;
  SetLength(A.BlockFirst, 0);
  SetLength(A.BlockLast, 0);
  R := 0;
  while R < N do
  begin
    First := R;
    Last := RowReach[R];
    while R <= Last do
    begin
      Reach := RowReach[R];
      if Reach > Last then
        Last := Reach;
      Inc(R);
    end;
    SetLength(A.BlockFirst, Length(A.BlockFirst) + 1);
    SetLength(A.BlockLast, Length(A.BlockLast) + 1);
    A.BlockFirst[High(A.BlockFirst)] := First;
    A.BlockLast[High(A.BlockLast)] := Last;
  end;
  SetLength(A.Base, N);
  SetLength(A.W, N);
  SetLength(A.TornAt, N);
end;

{ Largest magnitude of row R's entries. }
function RowMax(const A: TBlockMatrix; R: LONGINT): DOUBLE;
var
  K: LONGINT;
begin
  Result := 0.0;
  for K := A.RowStart[R] to A.RowStart[R + 1] - 1 do
    Result := Max(Result, Abs(A.Value[A.RowEntry[K]]));
end;

{ One substitution sweep over block First..Last. The torn positions take
  their values from Z; with UseRhs the right-hand side is Base, else 0.
  The results go to W; the torn rows' residuals to Res. False when a
  substitution pivot vanishes. }
function Sweep(var A: TBlockMatrix; First, Last: LONGINT; const Z: array of DOUBLE;
  UseRhs: BOOLEAN; var Res: array of DOUBLE): BOOLEAN;
var
  P, K, Q, T: LONGINT;
  S, Diag, V: DOUBLE;
begin
  for T := 0 to High(Z) do
    A.W[A.TornAt[T]] := Z[T];
  for P := First to Last do
  begin
    if A.Spike[P] then
      Continue;
    if UseRhs then
      S := A.Base[P]
    else
      S := 0.0;
    Diag := 0.0;
    for K := A.RowStart[P] to A.RowStart[P + 1] - 1 do
    begin
      Q := A.RowCol[K];
      if Q < First then
        Continue;
      V := A.Value[A.RowEntry[K]];
      if Q = P then
        Diag := V
      else
        S := S - V * A.W[Q];
    end;
    if not (Abs(Diag) > PivotRatio * RowMax(A, P)) then
      Exit(False);
    A.W[P] := S / Diag;
  end;
  for T := 0 to High(Z) do
  begin
    P := A.TornAt[T];
    if UseRhs then
      S := -A.Base[P]
    else
      S := 0.0;
    for K := A.RowStart[P] to A.RowStart[P + 1] - 1 do
    begin
      Q := A.RowCol[K];
      if Q >= First then
        S := S + A.Value[A.RowEntry[K]] * A.W[Q];
    end;
    Res[T] := S;
  end;
  Result := True;
end;

function SolveDense(K: LONGINT; var Mat: array of DOUBLE; var B: array of DOUBLE): BOOLEAN;
var
  I, J, R, Piv: LONGINT;
  Big, F, T: DOUBLE;
begin
  Big := 0.0;
  for I := 0 to K * K - 1 do
    Big := Max(Big, Abs(Mat[I]));
  if not (Big > 0.0) then
    Exit(False);
  for J := 0 to K - 1 do
  begin
    Piv := J;
    for R := J + 1 to K - 1 do
      if Abs(Mat[R * K + J]) > Abs(Mat[Piv * K + J]) then
        Piv := R;
    if not (Abs(Mat[Piv * K + J]) > PivotRatio * Big) then
      Exit(False);
    if Piv <> J then
    begin
      for I := 0 to K - 1 do
      begin
        T := Mat[J * K + I];
        Mat[J * K + I] := Mat[Piv * K + I];
        Mat[Piv * K + I] := T;
      end;
      T := B[J];
      B[J] := B[Piv];
      B[Piv] := T;
    end;
    for R := J + 1 to K - 1 do
    begin
      F := Mat[R * K + J] / Mat[J * K + J];
      if F <> 0.0 then
      begin
        for I := J + 1 to K - 1 do
          Mat[R * K + I] := Mat[R * K + I] - F * Mat[J * K + I];
        B[R] := B[R] - F * B[J];
      end;
    end;
  end;
  for J := K - 1 downto 0 do
  begin
    T := B[J];
    for I := J + 1 to K - 1 do
      T := T - Mat[J * K + I] * B[I];
    B[J] := T / Mat[J * K + J];
  end;
  Result := True;
end;

{ The whole block as one dense system. }
function SolveBlockDense(var A: TBlockMatrix; First, Last: LONGINT): BOOLEAN;
var
  M, P, K, Q: LONGINT;
begin
  M := Last - First + 1;
  SetLength(A.Dense, M * M);
  SetLength(A.DenseRhs, M);
  for K := 0 to M * M - 1 do
    A.Dense[K] := 0.0;
  for P := First to Last do
  begin
    A.DenseRhs[P - First] := A.Base[P];
    for K := A.RowStart[P] to A.RowStart[P + 1] - 1 do
    begin
      Q := A.RowCol[K];
      if Q >= First then
        A.Dense[(P - First) * M + (Q - First)] := A.Value[A.RowEntry[K]];
    end;
  end;
  Result := SolveDense(M, A.Dense, A.DenseRhs);
  if Result then
    for P := First to Last do
      A.W[P] := A.DenseRhs[P - First];
end;

function SolveTorn(var A: TBlockMatrix; First, Last: LONGINT): BOOLEAN;
var
  T, S, P, K: LONGINT;
  Z, Res: array of DOUBLE;
begin
  T := 0;
  for P := First to Last do
    if A.Spike[P] then
    begin
      A.TornAt[T] := P;
      Inc(T);
    end;
  SetLength(Z, T);
  SetLength(Res, T);
  SetLength(A.Dense, T * T);
  SetLength(A.DenseRhs, T);
  for S := 0 to T - 1 do
    Z[S] := 0.0;
  { Residuals of the torn rows at zero torn values ... }
  if not Sweep(A, First, Last, Z, True, Res) then
    Exit(False);
  for S := 0 to T - 1 do
    A.DenseRhs[S] := -Res[S];
  { ... and their change per unit of each torn value. }
  for S := 0 to T - 1 do
  begin
    Z[S] := 1.0;
    Sweep(A, First, Last, Z, False, Res);
    Z[S] := 0.0;
    for K := 0 to T - 1 do
      A.Dense[K * T + S] := Res[K];
  end;
  if not SolveDense(T, A.Dense, A.DenseRhs) then
    Exit(False);
  for S := 0 to T - 1 do
    Z[S] := A.DenseRhs[S];
  Result := Sweep(A, First, Last, Z, True, Res);
end;

function SolveBlockMatrix(var A: TBlockMatrix; const Rhs: array of DOUBLE;
  var Delta: array of DOUBLE): LONGINT;
var
  B, First, Last, P, K, Q: LONGINT;
  S: DOUBLE;
  Solved: BOOLEAN;
begin
  for B := 0 to High(A.BlockFirst) do
  begin
    First := A.BlockFirst[B];
    Last := A.BlockLast[B];
    { Right-hand side less what the earlier blocks contribute. }
    for P := First to Last do
    begin
      S := Rhs[P];
      for K := A.RowStart[P] to A.RowStart[P + 1] - 1 do
      begin
        Q := A.RowCol[K];
        if Q < First then
          S := S - A.Value[A.RowEntry[K]] * Delta[Q];
      end;
      A.Base[P] := S;
    end;
    Solved := SolveTorn(A, First, Last);
    if not Solved and (Last - First < DenseLimit) then
      Solved := SolveBlockDense(A, First, Last);
    if not Solved then
      Exit(B);
    for P := First to Last do
      Delta[P] := A.W[P];
  end;
  Result := -1;
end;

end.
