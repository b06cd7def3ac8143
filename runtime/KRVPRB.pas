{ Solver runtime: reads the problem file and writes the solution into its X out fields. }
unit KRVPRB;

{$MODE Delphi}

interface

uses
  SysUtils;

const
  { Offsets inside a 25-byte value block. }
  BlockXIn = 1;
  BlockRange = 9;
  BlockXOut = 17;
  BlockSize = 25;
  MaxNonzeros = 150000;

type
  TLongIntArray = array of LONGINT;
  TPrbOutcome = (prbOk, prbMissing, prbDamaged, prbNoOrdering, prbTooLarge);

  TPrbVariable = record
    Kind: STRING[2];
    Name: AnsiString;      { full dotted name, without the leading _X. }
    BlockAt: LONGINT;      { file offset of the value block }
    Positive: BOOLEAN;
    XIn: DOUBLE;
    Range: DOUBLE;
  end;

  TPrbProblem = record
    FileName: AnsiString;  { as found on disk }
    Labl: AnsiString;      { compile label of the header }
    Vars: array of TPrbVariable;
    PairInteg, PairDeriv: array of LONGINT;
    N: LONGINT;
    RowVar, ColVar: TLongIntArray;        { position 1..N stored at 0..N-1 }
    NzRow, NzCol: array of LONGINT;       { 1-based positions }
    Bytes: TBytes;                        { the file as read }
  end;

{ Reads and checks the whole problem file. Capacity is the number of
  variables the state areas hold. On failure Detail says what is wrong. }
function ReadProblem(const FileName: AnsiString; Capacity: LONGINT;
  var P: TPrbProblem; out Detail: AnsiString): TPrbOutcome;

{ Parses problem-file bytes already in memory; ReadProblem's checks. }
function ParseProblem(const Bytes: array of BYTE; Capacity: LONGINT;
  var P: TPrbProblem; out Detail: AnsiString): TPrbOutcome;

{ Writes XOut[k] into the X out field of variable k. The file is read again
  so that edits made meanwhile to other fields are kept; it is refused when
  its layout changed. The new file replaces the old one through a flushed
  temporary file of its own, so a failure leaves the old file whole. }
function WriteXOut(const P: TPrbProblem; const XOut: array of DOUBLE;
  out Detail: AnsiString): BOOLEAN;

{ Finds Name in the current directory case-blind, exact spelling first;
  returns Name itself when nothing matches. }
function ResolveCaseBlind(const Name: AnsiString): AnsiString;

implementation

uses
  KRVFILE;

type
  TReader = record
    Pos, Len: LONGINT;
  end;

const
  MaxFileSize = 64 * 1024 * 1024;
  MaxNameBytes = 255;
  NameComponents = 15;

function ResolveCaseBlind(const Name: AnsiString): AnsiString;
var
  Info: TSearchRec;
  Dir, Base: AnsiString;
begin
  Result := Name;
  if FileExists(Name) then
    Exit;
  Dir := ExtractFilePath(Name);
  Base := ExtractFileName(Name);
  if FindFirst(Dir + '*', faAnyFile, Info) = 0 then
  begin
    repeat
      { Only a..z fold, as everywhere in the package. }
      if (Length(Info.Name) = Length(Base)) and (UpperCase(Info.Name) = UpperCase(Base)) then
      begin
        Result := Dir + Info.Name;
        Break;
      end;
    until FindNext(Info) <> 0;
    FindClose(Info);
  end;
end;

function Remaining(const R: TReader): LONGINT;
begin
  Result := R.Len - R.Pos;
end;

function ReadWord(const B: array of BYTE; var R: TReader; out W: LONGINT): BOOLEAN;
begin
  Result := Remaining(R) >= 2;
  if Result then
  begin
    W := B[R.Pos] or (LONGINT(B[R.Pos + 1]) shl 8);
    Inc(R.Pos, 2);
  end
  else
    W := 0;
end;

{ Finds the CR LF that ends the line starting at R.Pos, at most MaxLen bytes
  on; false as well where a CR stands before any other byte. }
function FindLineEnd(const B: array of BYTE; const R: TReader; MaxLen: LONGINT;
  out At: LONGINT): BOOLEAN;
var
  K, Stop: LONGINT;
begin
  Stop := R.Pos + MaxLen;
  if Stop > R.Len - 2 then
    Stop := R.Len - 2;
  for K := R.Pos to Stop do
    if B[K] = 13 then
    begin
      { A CR ends a line only before its LF; anything else is damage. }
      if B[K + 1] <> 10 then
        Break;
      At := K;
      Exit(True);
    end;
  At := -1;
  Result := False;
end;

function BytesToString(const B: array of BYTE; First, Count: LONGINT): AnsiString;
begin
  SetLength(Result, Count);
  if Count > 0 then
    Move(B[First], Result[1], Count);
end;

function ReadDouble(const B: array of BYTE; At: LONGINT): DOUBLE;
begin
  Move(B[At], Result, 8);
end;

function ReadSingle(const B: array of BYTE; At: LONGINT): SINGLE;
begin
  Move(B[At], Result, 4);
end;

function IsFinite(X: DOUBLE): BOOLEAN;
begin
  Result := (X = X) and (X - X = 0.0);
end;

{ Expands a ditto-compressed name with the 15-entry component table. }
function ExpandName(const Text: AnsiString; var Table: array of AnsiString): AnsiString;
var
  K, J, Start: LONGINT;
  Component: AnsiString;
  Sep: AnsiChar;
begin
  Result := '';
  J := 0;
  Start := 1;
  K := 1;
  while K <= Length(Text) + 1 do
  begin
    if (K > Length(Text)) or (Text[K] = '.') or (Text[K] = '_') then
    begin
      Component := Copy(Text, Start, K - Start);
      if K <= Length(Text) then
        Sep := Text[K]
      else
        Sep := #0;
      if J < NameComponents then
      begin
        if Component = '"' then
          Component := Table[J]
        else
          Table[J] := Copy(Component, 1, 31);
      end;
      Result := Result + Component;
      if Sep <> #0 then
        Result := Result + Sep;
      Inc(J);
      Start := K + 1;
    end;
    Inc(K);
  end;
  if J < NameComponents then
    Table[J] := '';
end;

{ Reads the N row names (Rows) or column names of the ordering. A row
  belongs to a computed variable or the fixed side of a fixing pair, a column
  to an input or the moved side of a fixing pair; none comes twice. }
function ReadOrderingNames(const Bytes: array of BYTE; var R: TReader;
  const P: TPrbProblem; Rows: BOOLEAN; var List: TLongIntArray;
  out Detail: AnsiString): BOOLEAN;
var
  Seen: array of BOOLEAN;
  K, V: LONGINT;
  Fits: BOOLEAN;
begin
  SetLength(List, P.N);
  SetLength(Seen, Length(P.Vars));
  for K := 0 to P.N - 1 do
  begin
    ReadWord(Bytes, R, V);
    Fits := V < Length(P.Vars);
    if Fits then
      if Rows then
        Fits := (P.Vars[V].Kind[2] = 'O') or (P.Vars[V].Kind[1] = 'C')
      else
        Fits := (P.Vars[V].Kind[1] = 'I') or (P.Vars[V].Kind[2] = 'C');
    if not Fits or Seen[V] then
    begin
      if Rows then
        Detail := 'row ' + IntToStr(K + 1) + ' of its ordering is not a computed or fixed variable'
      else
        Detail := 'column ' + IntToStr(K + 1) + ' of its ordering is not an input or moved variable';
      Exit(False);
    end;
    Seen[V] := True;
    List[K] := V;
  end;
  Detail := '';
  Result := True;
end;

function ParseProblem(const Bytes: array of BYTE; Capacity: LONGINT;
  var P: TPrbProblem; out Detail: AnsiString): TPrbOutcome;
var
  R: TReader;
  LineEnd, Count, H, K, W, PairCount, V, Z, ZHigh: LONGINT;
  Header: AnsiString;
  Table: array[0..NameComponents - 1] of AnsiString;
  Kind: STRING[2];
  Letter: AnsiChar;
begin
  Detail := '';
  R.Pos := 0;
  R.Len := Length(Bytes);
  SetLength(P.Vars, 0);
  SetLength(P.PairInteg, 0);
  SetLength(P.PairDeriv, 0);
  SetLength(P.RowVar, 0);
  SetLength(P.ColVar, 0);
  SetLength(P.NzRow, 0);
  SetLength(P.NzCol, 0);
  P.N := 0;
  P.Labl := '';

  { Header: "*" + label + "#0000" + CR LF. }
  if (R.Len < 1) or (Bytes[0] <> Ord('*')) then
  begin
    Detail := 'it does not begin with "*"';
    Exit(prbDamaged);
  end;
  if not FindLineEnd(Bytes, R, 200, LineEnd) then
  begin
    Detail := 'its header line has no end';
    Exit(prbDamaged);
  end;
  Header := BytesToString(Bytes, 0, LineEnd);
  if (Length(Header) < 6) or (Copy(Header, Length(Header) - 4, 5) <> '#0000') then
  begin
    Detail := 'its header line does not end with "#0000"';
    Exit(prbDamaged);
  end;
  P.Labl := Copy(Header, 2, Length(Header) - 6);
  R.Pos := LineEnd + 2;

  if not ReadWord(Bytes, R, H) then
  begin
    Detail := 'it ends before the name count';
    Exit(prbDamaged);
  end;
  Count := (H + 1) and $FFFF;
  if Count > Capacity then
  begin
    Detail := IntToStr(Count);
    Exit(prbTooLarge);
  end;
  if Count = 0 then
  begin
    Detail := 'it names no variables';
    Exit(prbDamaged);
  end;
  SetLength(P.Vars, Count);
  for K := 0 to NameComponents - 1 do
    Table[K] := '';
  for K := 0 to Count - 1 do
  begin
    if (Remaining(R) < 2) or (Bytes[R.Pos] = Ord('#')) then
    begin
      Detail := 'it holds ' + IntToStr(K) + ' of its ' + IntToStr(Count) + ' names';
      Exit(prbDamaged);
    end;
    Kind := AnsiChar(Bytes[R.Pos]) + AnsiChar(Bytes[R.Pos + 1]);
    if not (Kind[1] in ['I', 'C', '*']) or not (Kind[2] in ['O', 'C', '*']) then
    begin
      Detail := 'name record ' + IntToStr(K) + ' has the kind "' + Kind + '"';
      Exit(prbDamaged);
    end;
    Inc(R.Pos, 2);
    if not FindLineEnd(Bytes, R, MaxNameBytes, LineEnd) then
    begin
      Detail := 'name record ' + IntToStr(K) + ' has no line end';
      Exit(prbDamaged);
    end;
    P.Vars[K].Kind := Kind;
    P.Vars[K].Name := ExpandName(BytesToString(Bytes, R.Pos, LineEnd - R.Pos), Table);
    R.Pos := LineEnd + 2;
    if Remaining(R) < BlockSize then
    begin
      Detail := 'the value block of name record ' + IntToStr(K) + ' is cut off';
      Exit(prbDamaged);
    end;
    P.Vars[K].BlockAt := R.Pos;
    Letter := UpCase(AnsiChar(Bytes[R.Pos]));
    P.Vars[K].Positive := Letter = 'P';
    P.Vars[K].XIn := ReadDouble(Bytes, R.Pos + BlockXIn);
    P.Vars[K].Range := ReadSingle(Bytes, R.Pos + BlockRange);
    if not IsFinite(P.Vars[K].XIn) then
    begin
      Detail := 'the X in of ' + P.Vars[K].Name + ' is not a number';
      Exit(prbDamaged);
    end;
    Inc(R.Pos, BlockSize);
  end;

  if (Remaining(R) < 3) or (Bytes[R.Pos] <> Ord('#')) or (Bytes[R.Pos + 1] <> 13)
    or (Bytes[R.Pos + 2] <> 10) then
  begin
    Detail := 'the "#" line after the names is missing';
    Exit(prbDamaged);
  end;
  Inc(R.Pos, 3);

  { Integration pairs: (integrated variable, its derivative). }
  if not ReadWord(Bytes, R, PairCount) then
  begin
    Detail := 'sequencing stopped before its integration pairs';
    Exit(prbNoOrdering);
  end;
  if Remaining(R) < PairCount * 4 then
  begin
    Detail := 'its integration pairs are cut off';
    Exit(prbDamaged);
  end;
  SetLength(P.PairInteg, PairCount);
  SetLength(P.PairDeriv, PairCount);
  for K := 0 to PairCount - 1 do
  begin
    ReadWord(Bytes, R, P.PairInteg[K]);
    ReadWord(Bytes, R, P.PairDeriv[K]);
    if (P.PairInteg[K] >= Count) or (P.PairDeriv[K] >= Count) then
    begin
      Detail := 'integration pair ' + IntToStr(K + 1) + ' names a variable it does not hold';
      Exit(prbDamaged);
    end;
  end;

  { Ordering: N, the row names, the column names. }
  if Remaining(R) = 0 then
  begin
    Detail := 'it holds no equation ordering';
    Exit(prbNoOrdering);
  end;
  if not ReadWord(Bytes, R, P.N) then
  begin
    Detail := 'its ordering is cut off';
    Exit(prbDamaged);
  end;
  if P.N > Count then
  begin
    Detail := 'its ordering has ' + IntToStr(P.N) + ' equations for ' + IntToStr(Count) + ' variables';
    Exit(prbDamaged);
  end;
  if Remaining(R) < P.N * 4 + 4 then
  begin
    Detail := 'its ordering is cut off';
    Exit(prbDamaged);
  end;
  if not ReadOrderingNames(Bytes, R, P, True, P.RowVar, Detail)
    or not ReadOrderingNames(Bytes, R, P, False, P.ColVar, Detail) then
    Exit(prbDamaged);

  { Nonzeros: a 32-bit count as two words, then (row, column) positions. }
  ReadWord(Bytes, R, Z);
  ReadWord(Bytes, R, ZHigh);
  if (ZHigh > MaxNonzeros shr 16) or ((Z or (ZHigh shl 16)) > MaxNonzeros) then
  begin
    Detail := 'it claims more than ' + IntToStr(MaxNonzeros) + ' nonzeros';
    Exit(prbDamaged);
  end;
  Z := Z or (ZHigh shl 16);
  if Remaining(R) < Z * 4 then
  begin
    Detail := 'its nonzeros are cut off';
    Exit(prbDamaged);
  end;
  SetLength(P.NzRow, Z);
  SetLength(P.NzCol, Z);
  for K := 0 to Z - 1 do
  begin
    ReadWord(Bytes, R, P.NzRow[K]);
    ReadWord(Bytes, R, W);
    P.NzCol[K] := W;
    if (P.NzRow[K] < 1) or (P.NzRow[K] > P.N) or (W < 1) or (W > P.N) then
    begin
      Detail := 'nonzero ' + IntToStr(K + 1) + ' lies outside its ordering';
      Exit(prbDamaged);
    end;
  end;
  if Remaining(R) > 0 then
  begin
    Detail := IntToStr(Remaining(R)) + ' stray bytes follow its nonzeros';
    Exit(prbDamaged);
  end;
  Result := prbOk;
end;

function ReadProblem(const FileName: AnsiString; Capacity: LONGINT;
  var P: TPrbProblem; out Detail: AnsiString): TPrbOutcome;
begin
  P.FileName := ResolveCaseBlind(FileName);
  if not ReadWhole(P.FileName, MaxFileSize, P.Bytes, Detail) then
    Exit(prbMissing);
  Result := ParseProblem(P.Bytes, Capacity, P, Detail);
end;

function WriteXOut(const P: TPrbProblem; const XOut: array of DOUBLE;
  out Detail: AnsiString): BOOLEAN;
var
  Now: TPrbProblem;
  K: LONGINT;
  X: DOUBLE;
  Outcome: TPrbOutcome;
begin
  Result := False;
  if not ReadWhole(P.FileName, MaxFileSize, Now.Bytes, Detail) then
  begin
    Detail := 'it can no longer be read: ' + Detail;
    Exit;
  end;
  Outcome := ParseProblem(Now.Bytes, MaxInt, Now, Detail);
  if (Outcome <> prbOk) or (Length(Now.Vars) <> Length(P.Vars)) then
  begin
    Detail := 'it was changed during the run';
    Exit;
  end;
  for K := 0 to High(P.Vars) do
    if Now.Vars[K].BlockAt <> P.Vars[K].BlockAt then
    begin
      Detail := 'it was changed during the run';
      Exit;
    end;
  for K := 0 to High(P.Vars) do
  begin
    X := XOut[K];
    Move(X, Now.Bytes[P.Vars[K].BlockAt + BlockXOut], 8);
  end;
  Result := WriteAll(P.FileName, Now.Bytes, Detail);
end;

end.
