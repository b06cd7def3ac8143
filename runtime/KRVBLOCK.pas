{ Solver runtime: the ordered sparse Jacobian and its block-by-block solution with torn columns. }
unit KRVBLOCK;

{ Positions are the ordering's, 0-based. The matrix is block lower
  triangular except for entries above the diagonal; every column holding one
  is a torn (spike) column. A block is the smallest run of positions that no
  such entry crosses. Within a block, the torn columns' values are the
  unknowns: every other position follows from its row by substitution, and
  the rows at the torn positions give as many equations, whose dense system is
  built from one substitution sweep per torn column. That system is factored
  once per Jacobian and kept, and so are those sweeps' results (the spike
  vectors) where they cost less to apply than a sweep: a solve then costs
  one substitution sweep, a triangular solve over the torn columns and
  either the spike vectors or a second sweep per block. A block whose
  substitution breaks down is factored whole instead, when it is small
  enough. }

{$MODE Delphi}
{$POINTERMATH ON}

interface

type
  TBlockMatrix = record
    N: LONGINT;
    { Entries are numbered by row, columns ascending within a row; the
      column lists give each entry's number (ColEntry). }
    ColStart, ColRow, ColEntry: array of LONGINT;   { by column }
    RowStart, RowCol: array of LONGINT;             { by row }
    { Row P's entries in its own block start at RowInner[P]; its diagonal
      entry is DiagAt[P], -1 when there is none. }
    RowInner, DiagAt: array of LONGINT;
    InvDiag: array of DOUBLE;                       { 1 / diagonal, when factored }
    Value: array of DOUBLE;                         { per entry }
    Spike: array of BOOLEAN;                        { per column position }
    BlockFirst, BlockLast: array of LONGINT;
    { Each row's largest magnitude, kept by whoever fills Value. }
    RowMax: array of DOUBLE;
    { Torn positions block by block: TornAt[TornStart[B] ..]. }
    TornStart, TornAt: array of LONGINT;
    { Factors of the values in Value, per block: the torn system's LU or,
      where Whole, the whole block's; at FactorAt[B], pivots at PivotAt[B]. }
    Whole: array of BOOLEAN;
    FactorAt, PivotAt: array of LONGINT;
    { Where >= 0, the block's spike vectors: row P - First, torn column T
      at SpikeAt[B] + (P - First) * (its torn count) + T. }
    SpikeAt: array of LONGINT;
    Factors, Spikes: array of DOUBLE;
    Pivots: array of LONGINT;
    { work space, sized once at the largest block }
    Base, W, Z, Res, DenseRhs: array of DOUBLE;
  end;

{ Builds the structure from 1-based (row, column) positions; an entry given
  twice is kept once. Returns '' or what is wrong. }
function BuildBlockMatrix(var A: TBlockMatrix; N: LONGINT;
  const NzRow, NzCol: array of LONGINT): AnsiString;

{ Factors every block of the values in Value (RowMax must hold their row
  maxima). Returns -1, or the index of the first block found singular. }
function FactorBlockMatrix(var A: TBlockMatrix): LONGINT;

{ Solves A * Delta = -G block by block with the factors kept. }
procedure SolveFactored(var A: TBlockMatrix; const G: array of DOUBLE;
  var Delta: array of DOUBLE);

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
  for C := 0 to N - 1 do
    for K := A.ColStart[C] to A.ColStart[C + 1] - 1 do
    begin
      R := A.ColRow[K];
      A.RowCol[A.RowStart[R] + Fill[R]] := C;
      A.ColEntry[K] := A.RowStart[R] + Fill[R];
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
  SetLength(A.BlockFirst, N);
  SetLength(A.BlockLast, N);
  C := 0;
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
    A.BlockFirst[C] := First;
    A.BlockLast[C] := Last;
    Inc(C);
  end;
  SetLength(A.BlockFirst, C);
  SetLength(A.BlockLast, C);
  { Each row's entries in its block, and its diagonal. }
  SetLength(A.RowInner, N);
  SetLength(A.DiagAt, N);
  SetLength(A.InvDiag, N);
  for C := 0 to High(A.BlockFirst) do
    for R := A.BlockFirst[C] to A.BlockLast[C] do
    begin
      A.RowInner[R] := A.RowStart[R + 1];
      A.DiagAt[R] := -1;
      for K := A.RowStart[R + 1] - 1 downto A.RowStart[R] do
        if A.RowCol[K] >= A.BlockFirst[C] then
        begin
          A.RowInner[R] := K;
          if A.RowCol[K] = R then
            A.DiagAt[R] := K;
        end;
    end;
  { Torn positions per block, the factors' places, and the work space. }
  SetLength(A.TornStart, Length(A.BlockFirst) + 1);
  SetLength(A.TornAt, N);
  SetLength(A.Whole, Length(A.BlockFirst));
  SetLength(A.FactorAt, Length(A.BlockFirst));
  SetLength(A.PivotAt, Length(A.BlockFirst));
  Q := 0;
  Reach := 0;
  for K := 0 to High(A.BlockFirst) do
  begin
    A.TornStart[K] := Q;
    for R := A.BlockFirst[K] to A.BlockLast[K] do
      if A.Spike[R] then
      begin
        A.TornAt[Q] := R;
        Inc(Q);
      end;
    Reach := Max(Reach, Max(Q - A.TornStart[K], A.BlockLast[K] - A.BlockFirst[K] + 1));
  end;
  A.TornStart[Length(A.BlockFirst)] := Q;
  { A block keeps its spike vectors where applying them costs less than a
    second sweep over its entries. }
  SetLength(A.SpikeAt, Length(A.BlockFirst));
  Q := 0;
  for K := 0 to High(A.BlockFirst) do
  begin
    First := A.BlockFirst[K];
    Last := A.BlockLast[K];
    E := (Last - First + 1) * (A.TornStart[K + 1] - A.TornStart[K]);
    Reach := 0;
    for R := First to Last do
      Inc(Reach, A.RowStart[R + 1] - A.RowInner[R]);
    A.SpikeAt[K] := -1;
    if E <= Reach then
    begin
      A.SpikeAt[K] := Q;
      Inc(Q, E);
    end;
  end;
  SetLength(A.Spikes, Q);
  SetLength(A.RowMax, N);
  SetLength(A.Base, N);
  SetLength(A.W, N);
  SetLength(A.Z, Reach);
  SetLength(A.Res, Reach);
  SetLength(A.DenseRhs, Reach);
  SetLength(A.Factors, 0);
  SetLength(A.Pivots, 0);
end;

{ One substitution sweep over block B. The torn positions take their values
  from Z; with UseRhs the right-hand side is Base, else 0. The results go to
  W; the torn rows' residuals to Res. False when a substitution pivot
  vanishes. }
function Sweep(var A: TBlockMatrix; B: LONGINT; UseRhs: BOOLEAN): BOOLEAN;
var
  Last, P, K, T, T0, D: LONGINT;
  S, Diag: DOUBLE;
  Val, W: PDouble;
  Col, RowStart, Inner: PLongint;
begin
  { The arrays through plain pointers: the loops below are the solver's
    inner loops. }
  Val := @A.Value[0];
  W := @A.W[0];
  Col := @A.RowCol[0];
  RowStart := @A.RowStart[0];
  Inner := @A.RowInner[0];
  Last := A.BlockLast[B];
  T0 := A.TornStart[B];
  for T := T0 to A.TornStart[B + 1] - 1 do
    W[A.TornAt[T]] := A.Z[T - T0];
  for P := A.BlockFirst[B] to Last do
  begin
    if A.Spike[P] then
      Continue;
    if UseRhs then
      S := A.Base[P]
    else
      S := 0.0;
    { The diagonal's own term vanishes with W[P] at 0. }
    W[P] := 0.0;
    for K := Inner[P] to RowStart[P + 1] - 1 do
      S := S - Val[K] * W[Col[K]];
    D := A.DiagAt[P];
    if D >= 0 then
      Diag := Val[D]
    else
      Diag := 0.0;
    if not (Abs(Diag) > PivotRatio * A.RowMax[P]) then
      Exit(False);
    A.InvDiag[P] := 1.0 / Diag;
    W[P] := S / Diag;
  end;
  for T := T0 to A.TornStart[B + 1] - 1 do
  begin
    P := A.TornAt[T];
    if UseRhs then
      S := -A.Base[P]
    else
      S := 0.0;
    for K := Inner[P] to RowStart[P + 1] - 1 do
      S := S + Val[K] * W[Col[K]];
    A.Res[T - T0] := S;
  end;
  Result := True;
end;

{ LU factors, with partial pivoting, of the K x K row-major matrix at
  Mat[At ..]; the pivot rows go to Piv[PivAt ..]. False when singular. }
function LuFactor(K: LONGINT; var Mat: array of DOUBLE; At: LONGINT;
  var Piv: array of LONGINT; PivAt: LONGINT): BOOLEAN;
var
  I, J, R, P: LONGINT;
  Big, F, T: DOUBLE;
begin
  Big := 0.0;
  for I := At to At + K * K - 1 do
    Big := Max(Big, Abs(Mat[I]));
  if not (Big > 0.0) then
    Exit(False);
  for J := 0 to K - 1 do
  begin
    P := J;
    for R := J + 1 to K - 1 do
      if Abs(Mat[At + R * K + J]) > Abs(Mat[At + P * K + J]) then
        P := R;
    if not (Abs(Mat[At + P * K + J]) > PivotRatio * Big) then
      Exit(False);
    Piv[PivAt + J] := P;
    if P <> J then
      for I := 0 to K - 1 do
      begin
        T := Mat[At + J * K + I];
        Mat[At + J * K + I] := Mat[At + P * K + I];
        Mat[At + P * K + I] := T;
      end;
    for R := J + 1 to K - 1 do
    begin
      F := Mat[At + R * K + J] / Mat[At + J * K + J];
      Mat[At + R * K + J] := F;
      if F <> 0.0 then
        for I := J + 1 to K - 1 do
          Mat[At + R * K + I] := Mat[At + R * K + I] - F * Mat[At + J * K + I];
    end;
  end;
  Result := True;
end;

{ Solves with the factors of LuFactor; the solution replaces B[0 .. K-1]. }
procedure LuSolve(K: LONGINT; const Mat: array of DOUBLE; At: LONGINT;
  const Piv: array of LONGINT; PivAt: LONGINT; var B: array of DOUBLE);
var
  I, J: LONGINT;
  T: DOUBLE;
begin
  { The row exchanges first, in their order; then L, column by column. }
  for J := 0 to K - 1 do
  begin
    I := Piv[PivAt + J];
    if I <> J then
    begin
      T := B[J];
      B[J] := B[I];
      B[I] := T;
    end;
  end;
  for J := 0 to K - 1 do
  begin
    T := B[J];
    if T <> 0.0 then
      for I := J + 1 to K - 1 do
        B[I] := B[I] - Mat[At + I * K + J] * T;
  end;
  for J := K - 1 downto 0 do
  begin
    T := B[J];
    for I := J + 1 to K - 1 do
      T := T - Mat[At + J * K + I] * B[I];
    B[J] := T / Mat[At + J * K + J];
  end;
end;

{ Room for Count more factors and pivots, grown geometrically. }
procedure Reserve(var A: TBlockMatrix; Used, Count, PivUsed, PivCount: LONGINT);
begin
  if Used + Count > Length(A.Factors) then
    SetLength(A.Factors, Max(Used + Count, 2 * Length(A.Factors)));
  if PivUsed + PivCount > Length(A.Pivots) then
    SetLength(A.Pivots, Max(PivUsed + PivCount, 2 * Length(A.Pivots)));
end;

{ The torn system of block B: column S is the torn rows' change per unit of
  torn value S; that sweep's values are the block's spike vector S. }
function FactorTorn(var A: TBlockMatrix; B, At, PivAt: LONGINT): BOOLEAN;
var
  T, S, K, First, P: LONGINT;
begin
  T := A.TornStart[B + 1] - A.TornStart[B];
  { Without torn columns, one sweep checks the substitution's pivots. }
  if T = 0 then
    Exit(Sweep(A, B, False));
  First := A.BlockFirst[B];
  for S := 0 to T - 1 do
    A.Z[S] := 0.0;
  for S := 0 to T - 1 do
  begin
    A.Z[S] := 1.0;
    if not Sweep(A, B, False) then
      Exit(False);
    A.Z[S] := 0.0;
    for K := 0 to T - 1 do
      A.Factors[At + K * T + S] := A.Res[K];
    if A.SpikeAt[B] >= 0 then
      for P := First to A.BlockLast[B] do
        A.Spikes[A.SpikeAt[B] + (P - First) * T + S] := A.W[P];
  end;
  Result := LuFactor(T, A.Factors, At, A.Pivots, PivAt);
end;

{ The whole block as one dense matrix. }
function FactorWhole(var A: TBlockMatrix; B, At, PivAt: LONGINT): BOOLEAN;
var
  First, M, P, K, Q: LONGINT;
begin
  First := A.BlockFirst[B];
  M := A.BlockLast[B] - First + 1;
  for K := At to At + M * M - 1 do
    A.Factors[K] := 0.0;
  for P := First to A.BlockLast[B] do
    for K := A.RowStart[P] to A.RowStart[P + 1] - 1 do
    begin
      Q := A.RowCol[K];
      if Q >= First then
        A.Factors[At + (P - First) * M + (Q - First)] := A.Value[K];
    end;
  Result := LuFactor(M, A.Factors, At, A.Pivots, PivAt);
end;

function FactorBlockMatrix(var A: TBlockMatrix): LONGINT;
var
  B, T, M, Used, PivUsed: LONGINT;
begin
  Used := 0;
  PivUsed := 0;
  for B := 0 to High(A.BlockFirst) do
  begin
    T := A.TornStart[B + 1] - A.TornStart[B];
    M := A.BlockLast[B] - A.BlockFirst[B] + 1;
    Reserve(A, Used, T * T, PivUsed, T);
    A.FactorAt[B] := Used;
    A.PivotAt[B] := PivUsed;
    A.Whole[B] := False;
    if FactorTorn(A, B, Used, PivUsed) then
    begin
      Inc(Used, T * T);
      Inc(PivUsed, T);
      Continue;
    end;
    { A substitution pivot vanished or the torn system is singular: a small
      block may still be regular as a whole. }
    if M - 1 >= DenseLimit then
      Exit(B);
    Reserve(A, Used, M * M, PivUsed, M);
    A.Whole[B] := True;
    if not FactorWhole(A, B, Used, PivUsed) then
      Exit(B);
    Inc(Used, M * M);
    Inc(PivUsed, M);
  end;
  Result := -1;
end;

procedure SolveFactored(var A: TBlockMatrix; const G: array of DOUBLE;
  var Delta: array of DOUBLE);
var
  B, First, Last, P, K, T, T0, S, At: LONGINT;
  X, Z0: DOUBLE;
  { The arrays through plain pointers: this is the solver's inner loop. }
  Val, D, Z, Spikes, Inv, Rhs: PDouble;
  Col, RowStart, Torn, TornStart: PLongint;
  Spike: PBoolean;
  Again: BOOLEAN;
begin
  Val := @A.Value[0];
  D := @Delta[0];
  Rhs := @G[0];
  Z := @A.Z[0];
  Inv := @A.InvDiag[0];
  Col := @A.RowCol[0];
  RowStart := @A.RowStart[0];
  Spike := @A.Spike[0];
  Torn := @A.TornAt[0];
  TornStart := @A.TornStart[0];
  Spikes := nil;
  if Length(A.Spikes) > 0 then
    Spikes := @A.Spikes[0];
  for B := 0 to High(A.BlockFirst) do
  begin
    First := A.BlockFirst[B];
    Last := A.BlockLast[B];
    if A.Whole[B] then
    begin
      { Right-hand side less what the earlier blocks contribute. }
      for P := First to Last do
      begin
        X := -Rhs[P];
        for K := RowStart[P] to A.RowInner[P] - 1 do
          X := X - Val[K] * D[Col[K]];
        A.Base[P] := X;
      end;
      LuSolve(Last - First + 1, A.Factors, A.FactorAt[B], A.Pivots, A.PivotAt[B], A.Base[First..Last]);
      for P := First to Last do
        D[P] := A.Base[P];
      Continue;
    end;
    { The block by substitution with its torn values at 0: each position
      from its row, every other value in the row known (the earlier
      blocks' final, this block's so far, the torn columns' given, its own
      at 0 for the diagonal's term). The factoring sweeps found every pivot
      sound. }
    T0 := TornStart[B];
    T := TornStart[B + 1] - T0;
    Again := False;
    repeat
      for S := T0 to T0 + T - 1 do
        if Again then
          D[Torn[S]] := Z[S - T0]
        else
          D[Torn[S]] := 0.0;
      for P := First to Last do
        if not Spike[P] then
        begin
          D[P] := 0.0;
          X := -Rhs[P];
          for K := RowStart[P] to RowStart[P + 1] - 1 do
            X := X - Val[K] * D[Col[K]];
          D[P] := X * Inv[P];
        end;
      if (T = 0) or Again then
        Break;
      { The torn values that cancel the torn rows' residuals ... }
      for S := 0 to T - 1 do
      begin
        P := Torn[T0 + S];
        X := -Rhs[P];
        for K := RowStart[P] to RowStart[P + 1] - 1 do
          X := X - Val[K] * D[Col[K]];
        Z[S] := X;
      end;
      if T = 1 then
        Z[0] := Z[0] / A.Factors[A.FactorAt[B]]
      else
        LuSolve(T, A.Factors, A.FactorAt[B], A.Pivots, A.PivotAt[B], A.Z);
      { ... and the rest with them: by the spike vectors, or substituting
        again. }
      At := A.SpikeAt[B];
      Again := At < 0;
      if Again then
        Continue;
      for S := 0 to T - 1 do
        D[Torn[T0 + S]] := Z[S];
      At := At - First * T;
      if T = 1 then
      begin
        Z0 := Z[0];
        for P := First to Last do
          if not Spike[P] then
            D[P] := D[P] + Z0 * Spikes[At + P];
      end
      else
        for P := First to Last do
          if not Spike[P] then
          begin
            X := D[P];
            for S := 0 to T - 1 do
              X := X + Z[S] * Spikes[At + P * T + S];
            D[P] := X;
          end;
    until not Again;
  end;
end;

end.
