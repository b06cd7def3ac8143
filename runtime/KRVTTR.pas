{ Solver runtime: the trajectory file: written in 64-byte blocks, packed records, mark 30995; its last record read back in any of the three layouts. }
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
  PTtrWriter = ^TTtrWriter;

{ Creates (or overwrites) the file with a header that holds no record. }
function TtrCreate(var W: TTtrWriter; const FileName, Labl: AnsiString;
  VarCount: LONGINT): BOOLEAN;

{ Writes record JT (the next one) and updates the header's last _T and JTmax. }
function TtrAppend(var W: TTtrWriter; JT: LONGINT; T: DOUBLE;
  const Values: array of SINGLE): BOOLEAN;

procedure TtrClose(var W: TTtrWriter);

{ Blocks per packed record for variables 0..D. }
function TtrBlocksPerRecord(D: LONGINT): LONGINT;

{ Reads the values of the last record of a trajectory file of any of the
  marks 30995, 31000 and 32000. False with Detail when the file cannot be
  read, is not a trajectory file, holds no record or is cut short. D is the
  header's variable count less one; Values get D + 1 entries. }
function TtrReadLast(const FileName: AnsiString; out D: LONGINT;
  var Values: array of DOUBLE; MaxValues: LONGINT; out Detail: AnsiString): BOOLEAN;

implementation

uses
  SysUtils;

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

function TtrReadLast(const FileName: AnsiString; out D: LONGINT;
  var Values: array of DOUBLE; MaxValues: LONGINT; out Detail: AnsiString): BOOLEAN;
var
  F: file;
  H: array[0..TtrBlock - 1] of BYTE;
  Rec: array of BYTE;
  Mark, D16: SMALLINT;
  JTMax, R, K, At, Got: LONGINT;
  Blocks: Int64;
  V: SINGLE;
begin
  Result := False;
  D := -1;
  AssignFile(F, FileName);
  FileMode := 0;
  {$I-}
  Reset(F, TtrBlock);
  {$I+}
  if IOResult <> 0 then
  begin
    Detail := 'it cannot be opened';
    Exit;
  end;
  try
    Blocks := FileSize(F);
    Got := 0;
    {$I-}
    BlockRead(F, H, 1, Got);
    {$I+}
    if (IOResult <> 0) or (Got <> 1) then
    begin
      Detail := 'it has no header';
      Exit;
    end;
    Move(H[0], Mark, 2);
    Move(H[2], D16, 2);
    if Mark = 32000 then
      Move(H[52], JTMax, 4)
    else
      Move(H[60], JTMax, 4);
    if ((Mark <> 30995) and (Mark <> 31000) and (Mark <> 32000)) or (D16 < 0) then
    begin
      Detail := 'it is not a trajectory file';
      Exit;
    end;
    D := D16;
    if JTMax < 0 then
    begin
      Detail := 'it holds no record';
      Exit;
    end;
    if D + 1 > MaxValues then
    begin
      Detail := 'it holds ' + IntToStr(D + 1) + ' variables';
      Exit;
    end;
    if Mark = 30995 then
      R := (D + 3) div 16 + 1
    else
      R := (D + 4) div 16 + 1;
    if Int64(JTMax + 1) * R + 1 > Blocks then
    begin
      Detail := 'it is shorter than its header says';
      Exit;
    end;
    SetLength(Rec, R * TtrBlock);
    {$I-}
    Seek(F, Int64(JTMax) * R + 1);
    BlockRead(F, Rec[0], R, Got);
    {$I+}
    if (IOResult <> 0) or (Got <> R) then
    begin
      Detail := 'its last record cannot be read';
      Exit;
    end;
    for K := 0 to D do
    begin
      if (Mark = 30995) or (K < 12) then
        At := 12 + 4 * K
      else
        At := 16 + 4 * K;
      Move(Rec[At], V, 4);
      Values[K] := V;
    end;
    Result := True;
  finally
    {$I-}
    CloseFile(F);
    {$I+}
    if IOResult <> 0 then;
  end;
end;

end.
