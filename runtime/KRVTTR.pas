{ Solver runtime: writes the trajectory file in 64-byte blocks, packed records, mark 30995. }
unit KRVTTR;

{$MODE Delphi}

interface

const
  TtrMark = 30995;
  TtrBlock = 64;

type
  TTtrWriter = record
    F: file;
    Opened: BOOLEAN;
    D: LONGINT;             { number of variables less one }
    BlocksPerRecord: LONGINT;
    JTMax: LONGINT;
    LastT: DOUBLE;
    Labl: AnsiString;
    Rec: array of BYTE;
  end;

{ Creates (or overwrites) the file with a header that holds no record. }
function TtrCreate(var W: TTtrWriter; const FileName, Labl: AnsiString;
  VarCount: LONGINT): BOOLEAN;

{ Writes record JT (the next one) and updates the header's last _T and JTmax. }
function TtrAppend(var W: TTtrWriter; JT: LONGINT; T: DOUBLE;
  const Values: array of SINGLE): BOOLEAN;

procedure TtrClose(var W: TTtrWriter);

{ Blocks per packed record for variables 0..D. }
function TtrBlocksPerRecord(D: LONGINT): LONGINT;

implementation

function TtrBlocksPerRecord(D: LONGINT): LONGINT;
begin
  Result := (D + 3) div 16 + 1;
end;

function WriteHeader(var W: TTtrWriter): BOOLEAN;
var
  H: array[0..TtrBlock - 1] of BYTE;
  Mark, D16: SMALLINT;
  L: LONGINT;
begin
  FillChar(H, SizeOf(H), 0);
  Mark := TtrMark;
  D16 := SMALLINT(W.D);
  Move(Mark, H[0], 2);
  Move(D16, H[2], 2);
  Move(W.LastT, H[12], 8);
  L := Length(W.Labl);
  if L > 39 then
    L := 39;
  H[20] := L;
  if L > 0 then
    Move(W.Labl[1], H[21], L);
  Move(W.JTMax, H[60], 4);
  {$I-}
  Seek(W.F, 0);
  BlockWrite(W.F, H, 1);
  {$I+}
  Result := IOResult = 0;
end;

function TtrCreate(var W: TTtrWriter; const FileName, Labl: AnsiString;
  VarCount: LONGINT): BOOLEAN;
begin
  W.Opened := False;
  W.D := VarCount - 1;
  W.BlocksPerRecord := TtrBlocksPerRecord(W.D);
  W.JTMax := -1;
  W.LastT := 0.0;
  W.Labl := Labl;
  SetLength(W.Rec, W.BlocksPerRecord * TtrBlock);
  AssignFile(W.F, FileName);
  {$I-}
  Rewrite(W.F, TtrBlock);
  {$I+}
  if IOResult <> 0 then
    Exit(False);
  W.Opened := True;
  Result := WriteHeader(W);
end;

function TtrAppend(var W: TTtrWriter; JT: LONGINT; T: DOUBLE;
  const Values: array of SINGLE): BOOLEAN;
var
  Done: LONGINT;
begin
  Assert(Length(Values) = W.D + 1);
  FillChar(W.Rec[0], Length(W.Rec), 0);
  Move(JT, W.Rec[0], 4);
  Move(T, W.Rec[4], 8);
  if Length(Values) > 0 then
    Move(Values[0], W.Rec[12], 4 * Length(Values));
  Done := 0;
  {$I-}
  Seek(W.F, Int64(JT) * W.BlocksPerRecord + 1);
  BlockWrite(W.F, W.Rec[0], W.BlocksPerRecord, Done);
  {$I+}
  if (IOResult <> 0) or (Done <> W.BlocksPerRecord) then
    Exit(False);
  W.JTMax := JT;
  W.LastT := T;
  Result := WriteHeader(W);
end;

procedure TtrClose(var W: TTtrWriter);
begin
  if W.Opened then
  begin
    {$I-}
    CloseFile(W.F);
    {$I+}
    if IOResult <> 0 then;
    W.Opened := False;
  end;
end;

end.
