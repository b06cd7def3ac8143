{ Solver runtime: the data-series store (.DSF) as the solver reads and writes it. }
unit KRVDSF;

{ The store is a file of 128-byte records, little-endian. Record 0 is the
  header (magic 0x00505050 at 0, the next free record at 4, the file's name
  at 8, its creation stamp at 34, a change count at 40). Record 1 is the
  root DSDir's first block. A DSDir block is a link to the DSDir's next
  block (0 = last) and four entries of 31 bytes: head or first block record
  (-1 = free), a name of at most 25 characters, a kind (0 series, 1 DSDir).
  A series head holds its first data record, the index of cell 0 of the
  first block (16 bits), the highest index holding a value (16 bits), the
  cell of the lowest value in block 0 (255 = empty), a comment, the stamp
  of its last save and the head of its X series. A data record is a link to
  the next one (0 = last) and 31 singles.

  Every record is checked before it is used: links inside the file, no
  record met twice, lengths within their fields, a series' range within its
  chain; a damaged store is refused with what is wrong, never followed. A
  change takes the file's advisory lock (flock, as every program that
  changes a store does) and finds its series afresh under it. }

{$MODE Delphi}

interface

uses
  SysUtils;

const
  DsfRecordSize = 128;
  DsfMagic = $00505050;
  DsfCells = 31;
  DsfMissingBits = $7F7FC99E;

type
  TDsfFind = (dsfFound, dsfMissing, dsfDamaged);

  TDsfStore = record
    FileName: AnsiString;
    Fd: LONGINT;
    Records: Int64;
  end;

  TDsfSeries = record
    Head: LONGINT;
    FirstData: LONGINT;
    Base, Highest, FirstOffset: LONGINT;
    Cells: array of SINGLE;   { block after block, in chain order }
  end;

{ Opens the store read-only and checks its header; False with Detail. }
function DsfOpen(var S: TDsfStore; const FileName: AnsiString;
  out Detail: AnsiString): BOOLEAN;
procedure DsfClose(var S: TDsfStore);

{ Finds the entry of a dotted absolute path (".P.b.Start"), names compared
  case-blind. Rec is its head or first block record. }
function DsfFindPath(const S: TDsfStore; const Path: AnsiString; out Rec: LONGINT;
  out IsDir: BOOLEAN; out Detail: AnsiString): TDsfFind;

{ Reads the series whose head is record Head. }
function DsfReadSeriesAt(const S: TDsfStore; Head: LONGINT; var Ser: TDsfSeries;
  out Detail: AnsiString): BOOLEAN;

{ Reads the series at Path: dsfMissing when there is none (or a DSDir). }
function DsfReadSeries(const S: TDsfStore; const Path: AnsiString; var Ser: TDsfSeries;
  out Detail: AnsiString): TDsfFind;

{ The value at Index; False when the cell holds none (the missing value,
  or bits that are not a number). }
function DsfValue(const Ser: TDsfSeries; Index: LONGINT; out V: DOUBLE): BOOLEAN;
{ The lowest and highest index that may hold a value; False when empty. }
function DsfIndexRange(const Ser: TDsfSeries; out Lo, Hi: LONGINT): BOOLEAN;
{ The value at the lowest index holding one. }
function DsfFirstValue(const Ser: TDsfSeries; out V: DOUBLE): BOOLEAN;

{ Under the store's lock, makes each series of Paths hold the one value
  Values[k] at index 0, written over its head and first data record as a
  save writes them: the chain cut after the first record, no X series, the
  stamp now, the comment kept; no record is added and nothing else changes
  but the header's change count. Every series is found and checked before
  anything is written. Result 0 done, 1 refused (Detail: a series missing
  or the store damaged, nothing written), 2 the file could not be opened,
  locked or written (Detail). }
function DsfWriteOneValues(const FileName: AnsiString; const Paths: array of AnsiString;
  const Values: array of DOUBLE; out Detail: AnsiString): LONGINT;

{ A double as the single a series cell holds: beyond a single's range it is
  the missing value, below its smallest normal 0. }
function DsfCellOf(X: DOUBLE): SINGLE;

implementation

uses
  BaseUnix, Unix, Math;

const
  EntrySize = 31;
  EntriesPerBlock = 4;
  NameMax = 25;
  CommentMax = 108;
  Damaged = 'the store is damaged';
  O_CLOEXEC = $80000;

type
  TRecord = array[0..DsfRecordSize - 1] of BYTE;

function Get32(const R: TRecord; At: LONGINT): LONGINT;
begin
  Result := LONGINT(DWORD(R[At]) or (DWORD(R[At + 1]) shl 8) or (DWORD(R[At + 2]) shl 16)
    or (DWORD(R[At + 3]) shl 24));
end;

procedure Put32(var R: TRecord; At: LONGINT; V: LONGINT);
begin
  R[At] := BYTE(V);
  R[At + 1] := BYTE(V shr 8);
  R[At + 2] := BYTE(V shr 16);
  R[At + 3] := BYTE(V shr 24);
end;

function Get16(const R: TRecord; At: LONGINT): LONGINT;
begin
  Result := SMALLINT(WORD(R[At] or (R[At + 1] shl 8)));
end;

procedure Put16(var R: TRecord; At: LONGINT; V: LONGINT);
begin
  R[At] := BYTE(V);
  R[At + 1] := BYTE(V shr 8);
end;

function GetSingle(const R: TRecord; At: LONGINT): SINGLE;
var
  Bits: DWORD;
begin
  Bits := DWORD(Get32(R, At));
  Move(Bits, Result, 4);
end;

procedure PutSingle(var R: TRecord; At: LONGINT; V: SINGLE);
var
  Bits: DWORD;
begin
  Move(V, Bits, 4);
  Put32(R, At, LONGINT(Bits));
end;

function MissingCell: SINGLE;
var
  Bits: DWORD;
begin
  Bits := DsfMissingBits;
  Move(Bits, Result, 4);
end;

function IsMissingCell(V: SINGLE): BOOLEAN;
var
  Bits: DWORD;
begin
  Move(V, Bits, 4);
  Result := Bits = DsfMissingBits;
end;

function DsfCellOf(X: DOUBLE): SINGLE;
begin
  if IsNan(X) or (Abs(X) > 3.4E38) then
    Result := MissingCell
  else if Abs(X) < 1.2E-38 then
    Result := 0.0
  else
    Result := X;
end;

function ReadRec(const S: TDsfStore; N: Int64; out R: TRecord): BOOLEAN;
var
  Done, Got: TSsize;
begin
  Done := 0;
  while Done < DsfRecordSize do
  begin
    Got := fpPRead(S.Fd, R[Done], DsfRecordSize - Done, N * DsfRecordSize + Done);
    if (Got < 0) and (fpgeterrno = ESysEINTR) then
      Continue;
    if Got <= 0 then
      Exit(False);
    Done := Done + Got;
  end;
  Result := True;
end;

function WriteRec(const S: TDsfStore; N: Int64; const R: TRecord): BOOLEAN;
var
  Done, Put: TSsize;
begin
  Done := 0;
  while Done < DsfRecordSize do
  begin
    Put := fpPWrite(S.Fd, R[Done], DsfRecordSize - Done, N * DsfRecordSize + Done);
    if (Put < 0) and (fpgeterrno = ESysEINTR) then
      Continue;
    if Put <= 0 then
      Exit(False);
    Done := Done + Put;
  end;
  Result := True;
end;

function InFile(const S: TDsfStore; N: LONGINT): BOOLEAN;
begin
  Result := (N >= 2) and (N < S.Records);
end;

function Reason: AnsiString;
begin
  Result := SysErrorMessage(fpgeterrno);
end;

function OpenMode(var S: TDsfStore; const FileName: AnsiString; Flags: LONGINT;
  out Detail: AnsiString): BOOLEAN;
var
  St: Stat;
  R: TRecord;
begin
  Result := False;
  S.FileName := FileName;
  S.Records := 0;
  S.Fd := fpOpen(PChar(FileName), Flags or O_CLOEXEC);
  if S.Fd < 0 then
  begin
    Detail := 'it cannot be opened: ' + Reason;
    Exit;
  end;
  if (fpFStat(S.Fd, St) <> 0) or not fpS_ISREG(St.st_mode) then
  begin
    Detail := 'it is not a regular file';
    DsfClose(S);
    Exit;
  end;
  S.Records := St.st_size div DsfRecordSize;
  if (S.Records < 2) or not ReadRec(S, 0, R) or (DWORD(Get32(R, 0)) <> DsfMagic) then
  begin
    Detail := 'it is not a data-series store';
    DsfClose(S);
    Exit;
  end;
  if R[8] > NameMax then
  begin
    Detail := Damaged + ' (its header)';
    DsfClose(S);
    Exit;
  end;
  Result := True;
end;

function DsfOpen(var S: TDsfStore; const FileName: AnsiString;
  out Detail: AnsiString): BOOLEAN;
begin
  Result := OpenMode(S, FileName, O_RDONLY, Detail);
end;

procedure DsfClose(var S: TDsfStore);
begin
  if S.Fd >= 0 then
    fpClose(S.Fd);
  S.Fd := -1;
end;

function UpperAscii(const T: AnsiString): AnsiString;
var
  K: LONGINT;
begin
  Result := T;
  for K := 1 to Length(Result) do
    if Result[K] in ['a'..'z'] then
      Result[K] := Chr(Ord(Result[K]) - 32);
end;

{ Looks for Name in the DSDir whose first block is First. }
function FindInDir(const S: TDsfStore; First: LONGINT; const Name: AnsiString;
  out Rec: LONGINT; out IsDir: BOOLEAN; out Detail: AnsiString): TDsfFind;
var
  R: TRecord;
  Block, Link, K, At, Len, Hops: LONGINT;
  Entry: AnsiString;
begin
  Result := dsfMissing;
  Rec := -1;
  IsDir := False;
  Block := First;
  Hops := 0;
  while Block <> 0 do
  begin
    Inc(Hops);
    { A chain longer than the file has records meets some record twice. }
    if ((Block <> 1) and not InFile(S, Block)) or (Hops > S.Records) then
    begin
      Detail := Damaged + ' (a DSDir chain leaves the file or loops)';
      Exit(dsfDamaged);
    end;
    if not ReadRec(S, Block, R) then
    begin
      Detail := 'reading record ' + IntToStr(Block) + ' failed: ' + Reason;
      Exit(dsfDamaged);
    end;
    Link := Get32(R, 0);
    for K := 0 to EntriesPerBlock - 1 do
    begin
      At := 4 + K * EntrySize;
      if Get32(R, At) = -1 then
        Continue;
      Len := R[At + 4];
      if (Len > NameMax) or (R[At + 30] > 1) or not InFile(S, Get32(R, At)) then
      begin
        Detail := Damaged + ' (a DSDir entry in record ' + IntToStr(Block) + ')';
        Exit(dsfDamaged);
      end;
      SetString(Entry, PAnsiChar(@R[At + 5]), Len);
      if (Result = dsfMissing) and (UpperAscii(Entry) = UpperAscii(Name)) then
      begin
        Rec := Get32(R, At);
        IsDir := R[At + 30] = 1;
        Result := dsfFound;
      end;
    end;
    if Result = dsfFound then
      Exit;
    Block := Link;
  end;
end;

function DsfFindPath(const S: TDsfStore; const Path: AnsiString; out Rec: LONGINT;
  out IsDir: BOOLEAN; out Detail: AnsiString): TDsfFind;
var
  Rest, Name: AnsiString;
  Dot: LONGINT;
begin
  Rec := 1;
  IsDir := True;
  Detail := '';
  Rest := Path;
  if (Rest <> '') and (Rest[1] = '.') then
    Delete(Rest, 1, 1);
  Result := dsfFound;
  while Rest <> '' do
  begin
    if not IsDir then
      Exit(dsfMissing);
    Dot := Pos('.', Rest);
    if Dot = 0 then
    begin
      Name := Rest;
      Rest := '';
    end
    else
    begin
      Name := Copy(Rest, 1, Dot - 1);
      Rest := Copy(Rest, Dot + 1, MaxInt);
    end;
    Result := FindInDir(S, Rec, Name, Rec, IsDir, Detail);
    if Result <> dsfFound then
      Exit;
  end;
end;

function DsfReadSeriesAt(const S: TDsfStore; Head: LONGINT; var Ser: TDsfSeries;
  out Detail: AnsiString): BOOLEAN;
var
  R: TRecord;
  Link, Blocks, K: LONGINT;
begin
  Result := False;
  Detail := Damaged + ' (the series at record ' + IntToStr(Head) + ')';
  SetLength(Ser.Cells, 0);
  if not InFile(S, Head) or not ReadRec(S, Head, R) then
    Exit;
  Ser.Head := Head;
  Ser.FirstData := Get32(R, 0);
  Ser.Base := Get16(R, 4);
  Ser.Highest := Get16(R, 6);
  Ser.FirstOffset := R[8];
  if (R[9] > CommentMax) or ((Ser.FirstOffset > DsfCells - 1) and (Ser.FirstOffset <> 255)) then
    Exit;
  Link := Ser.FirstData;
  Blocks := 0;
  repeat
    if not InFile(S, Link) or (Blocks >= S.Records) or not ReadRec(S, Link, R) then
      Exit;
    SetLength(Ser.Cells, (Blocks + 1) * DsfCells);
    for K := 0 to DsfCells - 1 do
      Ser.Cells[Blocks * DsfCells + K] := GetSingle(R, 4 + 4 * K);
    Inc(Blocks);
    Link := Get32(R, 0);
  until Link = 0;
  if (Ser.FirstOffset <> 255) and ((Ser.Base + Ser.FirstOffset > Ser.Highest)
    or (Ser.Highest - Ser.Base >= Blocks * DsfCells)) then
    Exit;
  Detail := '';
  Result := True;
end;

function DsfReadSeries(const S: TDsfStore; const Path: AnsiString; var Ser: TDsfSeries;
  out Detail: AnsiString): TDsfFind;
var
  Rec: LONGINT;
  IsDir: BOOLEAN;
begin
  Result := DsfFindPath(S, Path, Rec, IsDir, Detail);
  if (Result = dsfFound) and IsDir then
    Result := dsfMissing;
  if (Result = dsfFound) and not DsfReadSeriesAt(S, Rec, Ser, Detail) then
    Result := dsfDamaged;
end;

function DsfIndexRange(const Ser: TDsfSeries; out Lo, Hi: LONGINT): BOOLEAN;
begin
  Result := Ser.FirstOffset <> 255;
  Lo := Ser.Base + Ser.FirstOffset;
  Hi := Ser.Highest;
end;

function DsfValue(const Ser: TDsfSeries; Index: LONGINT; out V: DOUBLE): BOOLEAN;
var
  Lo, Hi: LONGINT;
  C: SINGLE;
begin
  V := 0.0;
  Result := False;
  if not DsfIndexRange(Ser, Lo, Hi) or (Index < Lo) or (Index > Hi) then
    Exit;
  C := Ser.Cells[Index - Ser.Base];
  { A cell that holds no number is no value either. }
  if IsMissingCell(C) or IsNan(C) or IsInfinite(C) then
    Exit;
  V := C;
  Result := True;
end;

function DsfFirstValue(const Ser: TDsfSeries; out V: DOUBLE): BOOLEAN;
var
  Lo, Hi, K: LONGINT;
begin
  V := 0.0;
  Result := False;
  if not DsfIndexRange(Ser, Lo, Hi) then
    Exit;
  for K := Lo to Hi do
    if DsfValue(Ser, K, V) then
      Exit(True);
end;

{ The packed local date of now, as the store's stamps hold it. }
procedure PutStampNow(var R: TRecord; At: LONGINT);
var
  Y, Mo, D, H, Mi, Sec, Ms: WORD;
begin
  DecodeDate(Now, Y, Mo, D);
  DecodeTime(Now, H, Mi, Sec, Ms);
  Put16(R, At, Y);
  R[At + 2] := Mo;
  R[At + 3] := D;
  R[At + 4] := H;
  R[At + 5] := Mi;
end;

function DsfWriteOneValues(const FileName: AnsiString; const Paths: array of AnsiString;
  const Values: array of DOUBLE; out Detail: AnsiString): LONGINT;
var
  S: TDsfStore;
  Heads: array of TDsfSeries;
  K, C: LONGINT;
  R, D, H0: TRecord;
  Outcome: TDsfFind;
  Why: AnsiString;
begin
  Detail := '';
  if not OpenMode(S, FileName, O_RDWR, Detail) then
  begin
    if S.Records >= 2 then
      Exit(1);
    Exit(2);
  end;
  try
    while fpFlock(S.Fd, LOCK_EX) <> 0 do
      if fpgeterrno <> ESysEINTR then
      begin
        Detail := 'it cannot be locked: ' + Reason;
        Exit(2);
      end;
    { Another program may have changed it before the lock was had. }
    S.Records := fpLSeek(S.Fd, 0, Seek_End) div DsfRecordSize;
    SetLength(Heads, Length(Paths));
    for K := 0 to High(Paths) do
    begin
      Outcome := DsfReadSeries(S, Paths[K], Heads[K], Why);
      if Outcome <> dsfFound then
      begin
        if Outcome = dsfMissing then
          Detail := Paths[K] + ' is not there'
        else
          Detail := Why;
        Exit(1);
      end;
    end;
    if not ReadRec(S, 0, H0) then
    begin
      Detail := 'reading its header failed: ' + Reason;
      Exit(2);
    end;
    for K := 0 to High(Paths) do
    begin
      if not ReadRec(S, Heads[K].Head, R) then
      begin
        Detail := 'reading record ' + IntToStr(Heads[K].Head) + ' failed: ' + Reason;
        Exit(2);
      end;
      Put16(R, 4, 0);
      Put16(R, 6, 0);
      R[8] := 0;
      PutStampNow(R, 118);
      Put32(R, 124, 0);
      FillChar(D, SizeOf(D), 0);
      PutSingle(D, 4, DsfCellOf(Values[K]));
      for C := 1 to DsfCells - 1 do
        PutSingle(D, 4 + 4 * C, MissingCell);
      if not WriteRec(S, Heads[K].FirstData, D) or not WriteRec(S, Heads[K].Head, R) then
      begin
        Detail := 'writing it failed: ' + Reason;
        Exit(2);
      end;
    end;
    { Bumped by every change, so that a program holding the store's DSDirs
      in memory reads them again. }
    Put32(H0, 40, Get32(H0, 40) + 1);
    if not WriteRec(S, 0, H0) or (fpFSync(S.Fd) <> 0) then
    begin
      Detail := 'writing it failed: ' + Reason;
      Exit(2);
    end;
    Result := 0;
  finally
    fpFlock(S.Fd, LOCK_UN);
    DsfClose(S);
  end;
end;

end.
