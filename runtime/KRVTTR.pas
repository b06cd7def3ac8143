{ Solver runtime: the trajectory file: written in 64-byte blocks, packed records, mark 30995; its last record read back in any of the three layouts. }
unit KRVTTR;

{ A run writes its trajectory into a new file beside the old one and renames
  it over the old one at its end, so that a run cut short leaves the old
  trajectory whole and a program reading the old one meanwhile reads it
  whole. }

{$MODE Delphi}

interface

uses
  KRVFILE;

const
  TtrMark = 30995;
  TtrBlock = 64;

type
  TTtrWriter = record
    Output: TNewFile;
    Opened: BOOLEAN;
    D: LONGINT;             { number of variables less one }
    BlocksPerRecord: LONGINT;
    JTMax: LONGINT;
    LastT: DOUBLE;
    Labl: AnsiString;
    Pending: array of BYTE; { records not yet written, from record FirstPending }
    PendingBytes: LONGINT;
    FirstPending: LONGINT;
    Error: AnsiString;      { why the last call failed: the system's reason }
    FailedAt: LONGINT;      { the first record that could not be written }
  end;
  PTtrWriter = ^TTtrWriter;

{ Starts the new trajectory FileName, to hold no record until records are
  appended; FileName itself is not touched until TtrCommit. False with the
  system's reason in Detail. }
function TtrCreate(var W: TTtrWriter; const FileName, Labl: AnsiString;
  VarCount: LONGINT; out Detail: AnsiString): BOOLEAN;

{ Appends record JT, the next one. False, with Error and FailedAt, when the
  records could not be written. }
function TtrAppend(var W: TTtrWriter; JT: LONGINT; T: DOUBLE;
  const Values: array of SINGLE): BOOLEAN;

{ Writes the rest and the header (last _T and JTmax of the records appended)
  and puts the new trajectory in place of the old one. On failure the old
  file is left as it was and Detail gives the system's reason. }
function TtrCommit(var W: TTtrWriter; out Detail: AnsiString): BOOLEAN;

{ Drops the new trajectory; the old one stays as it was. }
procedure TtrAbandon(var W: TTtrWriter);

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
  BaseUnix, Unix, SysUtils;

const
  { Records are written some at a time, adjacent ones in one call. }
  FlushBytes = 256 * 1024;
  { Not in this compiler's BaseUnix; the value Linux gives it. }
  O_CLOEXEC = $80000;

function TtrBlocksPerRecord(D: LONGINT): LONGINT;
begin
  Result := (D + 3) div 16 + 1;
end;

function TtrCreate(var W: TTtrWriter; const FileName, Labl: AnsiString;
  VarCount: LONGINT; out Detail: AnsiString): BOOLEAN;
begin
  W.Opened := False;
  W.D := VarCount - 1;
  W.BlocksPerRecord := TtrBlocksPerRecord(W.D);
  W.JTMax := -1;
  W.LastT := 0.0;
  W.Labl := Labl;
  W.PendingBytes := 0;
  W.FirstPending := 0;
  W.Error := '';
  W.FailedAt := -1;
  SetLength(W.Pending, 0);
  Result := NewFileBeside(W.Output, FileName, Detail);
  W.Opened := Result;
end;

function FlushPending(var W: TTtrWriter): BOOLEAN;
begin
  Result := True;
  if W.PendingBytes = 0 then
    Exit;
  Result := WriteNewAt(W.Output, W.Pending[0], W.PendingBytes,
    (Int64(W.FirstPending) * W.BlocksPerRecord + 1) * TtrBlock, W.Error);
  if not Result then
    W.FailedAt := W.FirstPending;
  W.FirstPending := W.FirstPending + W.PendingBytes div (W.BlocksPerRecord * TtrBlock);
  W.PendingBytes := 0;
end;

function TtrAppend(var W: TTtrWriter; JT: LONGINT; T: DOUBLE;
  const Values: array of SINGLE): BOOLEAN;
var
  RecordBytes: LONGINT;
begin
  Assert(W.Opened and (Length(Values) = W.D + 1) and (JT = W.JTMax + 1));
  RecordBytes := W.BlocksPerRecord * TtrBlock;
  if W.PendingBytes + RecordBytes > Length(W.Pending) then
  begin
    if (W.PendingBytes > 0) and not FlushPending(W) then
      Exit(False);
    if RecordBytes > Length(W.Pending) then
      if RecordBytes > FlushBytes then
        SetLength(W.Pending, RecordBytes)
      else
        SetLength(W.Pending, FlushBytes div RecordBytes * RecordBytes);
  end;
  if W.PendingBytes = 0 then
    W.FirstPending := JT;
  FillChar(W.Pending[W.PendingBytes], RecordBytes, 0);
  Move(JT, W.Pending[W.PendingBytes], 4);
  Move(T, W.Pending[W.PendingBytes + 4], 8);
  if Length(Values) > 0 then
    Move(Values[0], W.Pending[W.PendingBytes + 12], 4 * Length(Values));
  Inc(W.PendingBytes, RecordBytes);
  W.JTMax := JT;
  W.LastT := T;
  Result := True;
end;

function TtrCommit(var W: TTtrWriter; out Detail: AnsiString): BOOLEAN;
var
  H: array[0..TtrBlock - 1] of BYTE;
  Mark, D16: SMALLINT;
  L: LONGINT;
begin
  Result := False;
  Detail := '';
  Assert(W.Opened);
  W.Opened := False;
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
  if not FlushPending(W) or not WriteNewAt(W.Output, H, TtrBlock, 0, W.Error) then
  begin
    Detail := W.Error;
    DiscardNew(W.Output);
    Exit;
  end;
  Result := ReplaceByNew(W.Output, Detail);
  W.Error := Detail;
end;

procedure TtrAbandon(var W: TTtrWriter);
begin
  if W.Opened then
    DiscardNew(W.Output);
  W.Opened := False;
end;

function TtrReadLast(const FileName: AnsiString; out D: LONGINT;
  var Values: array of DOUBLE; MaxValues: LONGINT; out Detail: AnsiString): BOOLEAN;
var
  Fd: cint;
  St: Stat;
  H: array[0..TtrBlock - 1] of BYTE;
  Rec: array of BYTE;
  Mark, D16: SMALLINT;
  JTMax, R, K, At: LONGINT;
  Blocks: Int64;
  V: SINGLE;
begin
  Result := False;
  D := -1;
  Fd := fpOpen(PChar(FileName), O_RDONLY or O_CLOEXEC);
  if Fd < 0 then
  begin
    Detail := 'it cannot be opened: ' + SystemReason;
    Exit;
  end;
  try
    if fpFStat(Fd, St) <> 0 then
    begin
      Detail := 'it cannot be read: ' + SystemReason;
      Exit;
    end;
    Blocks := St.st_size div TtrBlock;
    if (Blocks < 1) or not ReadAt(Fd, H[0], TtrBlock, 0) then
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
    if (Int64(JTMax) + 1) * R + 1 > Blocks then
    begin
      Detail := 'it is shorter than its header says';
      Exit;
    end;
    SetLength(Rec, R * TtrBlock);
    if not ReadAt(Fd, Rec[0], R * TtrBlock, (Int64(JTMax) * R + 1) * TtrBlock) then
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
    fpClose(Fd);
  end;
end;

end.
