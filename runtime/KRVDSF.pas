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
  chain, no record in two chains; a damaged store is refused with what is
  wrong, never followed. Which chain each record belongs to is found on
  opening, walking the store as every program that reads it does
  (series/record_owners.h): from the root, depth first, each DSDir's
  blocks in chain order and their used entries in order, a DSDir walked
  into above the deepest level a path reaches (15), a series claiming its
  head and its data records; a series meeting a record claimed already is
  damaged, and so is the series that claimed it; a chain leaving the file
  (a data link to record 0 or 1 included) is damaged; a DSDir block that
  cannot be read, or met again, ends its DSDir's chain. A
  change takes the file's advisory lock (flock, as every program that
  changes a store does) and finds its series afresh under it; reading
  takes the same lock shared, from DsfOpen to DsfClose, so that what is
  read is one state of the store and never a change half made.

  A change is there whole or not at all, through the rollback journal
  NAME.DSF-journal beside the store, in the layout every program that
  changes the store writes (platform/block_journal.h): a 32-byte header
  ("KRVJRNL" and 1, the block size, a salt, the store's size before the
  change, 0, a checksum), then per overwritten record its number (8 bytes),
  its old bytes and a checksum; the checksum is FNV-1a started from
  2166136261 xor the salt. The journal is written and synced (and its
  directory) before the store is touched, and removed once the change is
  synced. A journal found there when nobody holds the store's lock is what
  a change cut short left: it is rolled back (its whole entries written
  back, the store cut to its old size) before the store is read. }

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
    { By head record: the series' chain runs into records of another's. }
    Bad: array of BOOLEAN;
  end;

  TDsfSeries = record
    Head: LONGINT;
    FirstData: LONGINT;
    Base, Highest, FirstOffset: LONGINT;
    Cells: array of SINGLE;   { block after block, in chain order }
  end;

{ Opens the store read-only and checks its header; False with Detail. The
  store's shared lock is held from here to DsfClose: a change under way is
  waited for, and changes wait meanwhile (so close the store before
  writing into it). A change cut short (its journal left beside the
  store) is rolled back first, under the store's exclusive lock; a journal
  that cannot be rolled back refuses the store. }
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
  locked or written (Detail; the store is as it was, or its journal is left
  for the next opener to roll back). }
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
  JournalHeaderSize = 32;
  JournalBlockMax = 1 shl 20;
  JournalMagic: array[0..7] of BYTE = (Ord('K'), Ord('R'), Ord('V'), Ord('J'), Ord('R'), Ord('N'),
    Ord('L'), 1);

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

{ What there is of N bytes at Offset, up to the end of the file; -1 on error. }
function ReadUpTo(Fd: LONGINT; var Buf; N: LONGINT; Offset: Int64): LONGINT;
var
  Got: TSsize;
  P: PByte;
begin
  Result := 0;
  P := @Buf;
  while Result < N do
  begin
    Got := fpPRead(Fd, P[Result], N - Result, Offset + Result);
    if (Got < 0) and (fpgeterrno = ESysEINTR) then
      Continue;
    if Got < 0 then
      Exit(-1);
    if Got = 0 then
      Break;
    Result := Result + Got;
  end;
end;

function WriteAll(Fd: LONGINT; const Buf; N: LONGINT; Offset: Int64): BOOLEAN;
var
  Done, Put: TSsize;
  P: PByte;
begin
  Done := 0;
  P := @Buf;
  while Done < N do
  begin
    Put := fpPWrite(Fd, P[Done], N - Done, Offset + Done);
    if (Put < 0) and (fpgeterrno = ESysEINTR) then
      Continue;
    if Put <= 0 then
      Exit(False);
    Done := Done + Put;
  end;
  Result := True;
end;

function ReadRec(const S: TDsfStore; N: Int64; out R: TRecord): BOOLEAN;
begin
  Result := ReadUpTo(S.Fd, R, DsfRecordSize, N * DsfRecordSize) = DsfRecordSize;
end;

function InFile(const S: TDsfStore; N: LONGINT): BOOLEAN;
begin
  Result := (N >= 2) and (N < S.Records);
end;

function Reason: AnsiString;
begin
  Result := SysErrorMessage(fpgeterrno);
end;

{ ---- The rollback journal ---- }

function JournalName(const FileName: AnsiString): AnsiString;
begin
  Result := FileName + '-journal';
end;

{$PUSH}{$Q-}{$R-}
function JournalSum(const P: array of BYTE; From, N: LONGINT; Salt: DWORD): DWORD;
var
  K: LONGINT;
begin
  Result := DWORD(2166136261) xor Salt;
  for K := From to From + N - 1 do
  begin
    Result := Result xor P[K];
    Result := Result * 16777619;
  end;
end;
{$POP}

procedure PutU32(var B: array of BYTE; At: LONGINT; V: DWORD);
var
  K: LONGINT;
begin
  for K := 0 to 3 do
    B[At + K] := BYTE(V shr (8 * K));
end;

procedure PutI64(var B: array of BYTE; At: LONGINT; V: Int64);
var
  K: LONGINT;
begin
  for K := 0 to 7 do
    B[At + K] := BYTE(QWORD(V) shr (8 * K));
end;

function GetU32(const B: array of BYTE; At: LONGINT): DWORD;
var
  K: LONGINT;
begin
  Result := 0;
  for K := 3 downto 0 do
    Result := (Result shl 8) or B[At + K];
end;

function GetI64(const B: array of BYTE; At: LONGINT): Int64;
var
  K: LONGINT;
  V: QWORD;
begin
  V := 0;
  for K := 7 downto 0 do
    V := (V shl 8) or B[At + K];
  Result := Int64(V);
end;

{ Rolls the journal JName back into the store open read-write at Fd, whose
  lock the caller holds. 0 no journal, 1 a torn one (it never counted:
  removed, the store untouched), 2 rolled back, -1 failed (Detail; the
  journal is kept). }
function RollBackJournal(Fd: LONGINT; const JName: AnsiString; out Detail: AnsiString): LONGINT;
var
  J, Got, Whole, K, EntryBytes: LONGINT;
  Head: array[0..JournalHeaderSize - 1] of BYTE;
  BlockSize, Salt: DWORD;
  Original, Block, OutFirst, At: Int64;
  Buf, Pending: array of BYTE;
  More, Ok: BOOLEAN;

  function Flush: BOOLEAN;
  begin
    Result := (Length(Pending) = 0) or WriteAll(Fd, Pending[0], Length(Pending), OutFirst * BlockSize);
    SetLength(Pending, 0);
  end;

  function Failed: LONGINT;
  begin
    Detail := Reason;
    fpClose(J);
    Result := -1;
  end;

  { Closed, then removed: Result on success, else -1 with Detail. }
  function Removed(Done: LONGINT): LONGINT;
  begin
    fpClose(J);
    Result := Done;
    if (fpUnlink(PChar(JName)) <> 0) and (fpgeterrno <> ESysENOENT) then
    begin
      Detail := Reason;
      Result := -1;
    end;
  end;

begin
  Detail := '';
  J := fpOpen(PChar(JName), O_RDONLY or O_CLOEXEC);
  if J < 0 then
  begin
    if fpgeterrno = ESysENOENT then
      Exit(0);
    Detail := Reason;
    Exit(-1);
  end;
  Got := ReadUpTo(J, Head, JournalHeaderSize, 0);
  if Got < 0 then
    Exit(Failed);
  Ok := Got = JournalHeaderSize;
  for K := 0 to 7 do
    Ok := Ok and (Head[K] = JournalMagic[K]);
  if Ok then
  begin
    BlockSize := GetU32(Head, 8);
    Salt := GetU32(Head, 12);
    Original := GetI64(Head, 16);
    Ok := (BlockSize >= 1) and (BlockSize <= JournalBlockMax) and (Original >= 0)
      and (GetU32(Head, 24) = 0) and (GetU32(Head, 28) = JournalSum(Head, 0, 28, Salt));
  end;
  if not Ok then
    Exit(Removed(1));
  EntryBytes := 12 + LONGINT(BlockSize);
  Whole := (1 shl 20) div EntryBytes;
  if Whole < 1 then
    Whole := 1;
  SetLength(Buf, Whole * EntryBytes);
  SetLength(Pending, 0);
  OutFirst := -1;
  At := JournalHeaderSize;
  More := True;
  while More do
  begin
    Got := ReadUpTo(J, Buf[0], Length(Buf), At);
    if Got < 0 then
      Exit(Failed);
    More := Got = Length(Buf);
    for K := 0 to Got div EntryBytes - 1 do
    begin
      if GetU32(Buf, K * EntryBytes + 8 + LONGINT(BlockSize))
        <> JournalSum(Buf, K * EntryBytes, 8 + LONGINT(BlockSize), Salt) then
      begin
        More := False;
        Break;
      end;
      Block := GetI64(Buf, K * EntryBytes);
      { Only records the store held count; the cut below drops the rest. }
      if (Original = 0) or (Block < 0) or (Block > (Original - 1) div BlockSize) then
        Continue;
      if (Length(Pending) > 0) and (Block <> OutFirst + Length(Pending) div BlockSize) then
        if not Flush then
          Exit(Failed);
      if Length(Pending) = 0 then
        OutFirst := Block;
      SetLength(Pending, Length(Pending) + LONGINT(BlockSize));
      Move(Buf[K * EntryBytes + 8], Pending[Length(Pending) - LONGINT(BlockSize)], BlockSize);
      if (Length(Pending) >= 1 shl 20) and not Flush then
        Exit(Failed);
    end;
    At := At + (Got div EntryBytes) * EntryBytes;
  end;
  if not Flush or (fpFTruncate(Fd, Original) <> 0) or (fpFSync(Fd) <> 0) then
    Exit(Failed);
  Result := Removed(2);
end;

{ Rolls back a journal left beside the store by a change cut short: under
  the store's lock, so a change under way is waited for (its journal is
  gone when it lets go). False with Detail when it cannot be done. }
function RecoverStore(const FileName: AnsiString; out Detail: AnsiString): BOOLEAN;
var
  St: Stat;
  Fd: LONGINT;
begin
  Detail := '';
  Result := True;
  if fpStat(PChar(JournalName(FileName)), St) <> 0 then
    Exit;
  Result := False;
  Fd := fpOpen(PChar(FileName), O_RDWR or O_CLOEXEC);
  if Fd < 0 then
  begin
    Detail := 'its unfinished change could not be undone: ' + Reason;
    Exit;
  end;
  while fpFlock(Fd, LOCK_EX) <> 0 do
    if fpgeterrno <> ESysEINTR then
    begin
      Detail := 'its unfinished change could not be undone: ' + Reason;
      fpClose(Fd);
      Exit;
    end;
  if RollBackJournal(Fd, JournalName(FileName), Detail) < 0 then
    Detail := 'its unfinished change could not be undone: ' + Detail
  else
    Result := True;
  fpClose(Fd);
end;

{ Takes the store's shared lock, held until DsfClose, so that no change is
  under way while the store is read: a change holds the lock exclusively
  until its journal is gone, so a journal found under the shared lock was
  left by a change cut short. The shared lock is then let go, the journal
  rolled back (RecoverStore waits for the exclusive lock) and the shared
  lock taken again. False with Detail when the lock cannot be had or the
  journal not rolled back. }
function ShareLock(const S: TDsfStore; out Detail: AnsiString): BOOLEAN;
var
  St: Stat;
begin
  Detail := '';
  repeat
    while fpFlock(S.Fd, LOCK_SH) <> 0 do
      if fpgeterrno <> ESysEINTR then
      begin
        Detail := 'it cannot be locked: ' + Reason;
        Exit(False);
      end;
    if fpLStat(PChar(JournalName(S.FileName)), St) <> 0 then
      Exit(True);
    fpFlock(S.Fd, LOCK_UN);
    if not RecoverStore(S.FileName, Detail) then
      Exit(False);
  until False;
end;

{ Finds the series whose chain runs into another's records (S.Bad). }
function BuildOwners(var S: TDsfStore; out Detail: AnsiString): BOOLEAN;
const
  Chunk = 64;  { records per read }
  HeaderOwner = Low(LONGINT);
var
  Links, Owner: array of LONGINT;
  N, First, K, Got: LONGINT;
  Buf: array[0..Chunk * DsfRecordSize - 1] of BYTE;
  Failed: BOOLEAN;

  procedure Mark(Head: LONGINT);
  begin
    if (Head >= 0) and (Head < N) then
      S.Bad[Head] := True;
  end;

  { The record is claimed already: the series met and the one there are damaged. }
  function Met(Head, Rec: LONGINT): BOOLEAN;
  begin
    Result := Owner[Rec] <> 0;
    if not Result then
      Exit;
    Mark(Head);
    if Owner[Rec] > 0 then
      Mark(Owner[Rec]);
  end;

  procedure Series(Head: LONGINT);
  var
    Rec: LONGINT;
  begin
    if (Head < 2) or (Head >= N) then
      Exit;
    if Met(Head, Head) then
      Exit;
    Owner[Head] := Head;
    Rec := Links[Head];
    repeat
      if (Rec < 2) or (Rec >= N) then
      begin
        Mark(Head);
        Exit;
      end;
      if Met(Head, Rec) then
        Exit;
      Owner[Rec] := Head;
      Rec := Links[Rec];
    until Rec = 0;
  end;

  procedure Dir(First, Depth: LONGINT);
  var
    R: TRecord;
    Rec, K, At, E: LONGINT;
    Ok: BOOLEAN;
  begin
    Rec := First;
    while (Rec <> 0) and not Failed do
    begin
      if (Rec < 1) or (Rec >= N) then
        Exit;
      if Owner[Rec] <> 0 then
      begin
        if Owner[Rec] > 0 then
          Mark(Owner[Rec]);
        Exit;
      end;
      Owner[Rec] := -First;
      if not ReadRec(S, Rec, R) then
      begin
        Detail := 'reading record ' + IntToStr(Rec) + ' failed: ' + Reason;
        Failed := True;
        Exit;
      end;
      Ok := True;
      for K := 0 to EntriesPerBlock - 1 do
      begin
        At := 4 + K * EntrySize;
        if (R[At + 4] > NameMax) or ((Get32(R, At) <> -1) and (R[At + 30] > 1)) then
          Ok := False;
      end;
      if not Ok then
        Exit;
      for K := 0 to EntriesPerBlock - 1 do
      begin
        At := 4 + K * EntrySize;
        E := Get32(R, At);
        if E = -1 then
          Continue;
        if R[At + 30] = 0 then
          Series(E)
        else if Depth < 15 then
          Dir(E, Depth + 1);
        if Failed then
          Exit;
      end;
      Rec := Get32(R, 0);
    end;
  end;

begin
  Detail := '';
  N := S.Records;
  SetLength(S.Bad, 0);
  SetLength(S.Bad, N);
  SetLength(Links, N);
  SetLength(Owner, 0);
  SetLength(Owner, N);
  First := 0;
  while First < N do
  begin
    K := N - First;
    if K > Chunk then
      K := Chunk;
    Got := ReadUpTo(S.Fd, Buf[0], K * DsfRecordSize, Int64(First) * DsfRecordSize);
    if Got <> K * DsfRecordSize then
    begin
      Detail := 'reading it failed: ' + Reason;
      Exit(False);
    end;
    for Got := 0 to K - 1 do
      Links[First + Got] := LONGINT(DWORD(Buf[Got * DsfRecordSize]) or (DWORD(Buf[Got * DsfRecordSize + 1]) shl 8)
        or (DWORD(Buf[Got * DsfRecordSize + 2]) shl 16) or (DWORD(Buf[Got * DsfRecordSize + 3]) shl 24));
    First := First + K;
  end;
  Failed := False;
  if N > 0 then
  begin
    Owner[0] := HeaderOwner;
    Dir(1, 1);
  end;
  Result := not Failed;
end;

{ Opens the store with Flags and checks its header; with Shared, under the
  shared lock (ShareLock), kept for the caller. }
function OpenMode(var S: TDsfStore; const FileName: AnsiString; Flags: LONGINT;
  Shared: BOOLEAN; out Detail: AnsiString): BOOLEAN;
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
  if Shared and not ShareLock(S, Detail) then
  begin
    DsfClose(S);
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
  S.Fd := -1;
  S.Records := 0;
  Result := OpenMode(S, FileName, O_RDONLY, True, Detail);
  if Result and not BuildOwners(S, Detail) then
  begin
    DsfClose(S);
    Result := False;
  end;
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

type
  TNames = array of AnsiString;

{ Finds Names[Depth..] in the DSDir whose first block is First (record 1
  for the root, a record of the file's body for every other), as every
  program that reads the store finds a path: block after block, each block
  checked whole (its entries and its link) before it is used, no DSDir
  block met twice on the way (Seen), and the entries of the name tried in
  their order: for the last name the first of them, for any other each
  DSDir of them until the rest is found in one. }
function FindIn(const S: TDsfStore; First: LONGINT; Root: BOOLEAN; const Names: TNames;
  Depth: LONGINT; var Seen: array of BOOLEAN; out Rec: LONGINT; out IsDir: BOOLEAN;
  out Detail: AnsiString): TDsfFind;
var
  R: TRecord;
  Block, Link, K, At, Len: LONGINT;
  Entry, Wanted: AnsiString;
begin
  Rec := -1;
  IsDir := False;
  Wanted := UpperAscii(Names[Depth]);
  Block := First;
  repeat
    if (not (Root and (Block = First) and (Block = 1)) and not InFile(S, Block)) or Seen[Block] then
    begin
      Detail := Damaged + ' (a DSDir chain leaves the file or loops)';
      Exit(dsfDamaged);
    end;
    Seen[Block] := True;
    if not ReadRec(S, Block, R) then
    begin
      Detail := 'reading record ' + IntToStr(Block) + ' failed: ' + Reason;
      Exit(dsfDamaged);
    end;
    Link := Get32(R, 0);
    for K := 0 to EntriesPerBlock - 1 do
    begin
      At := 4 + K * EntrySize;
      { A name too long for its field is damage even in a free entry. }
      Len := R[At + 4];
      if (Len > NameMax) or ((Get32(R, At) <> -1) and (R[At + 30] > 1)) then
      begin
        Detail := Damaged + ' (a DSDir entry in record ' + IntToStr(Block) + ')';
        Exit(dsfDamaged);
      end;
    end;
    if (Link <> 0) and not InFile(S, Link) then
    begin
      Detail := Damaged + ' (a DSDir chain leaves the file or loops)';
      Exit(dsfDamaged);
    end;
    { Where an entry leads is checked when it is followed. }
    for K := 0 to EntriesPerBlock - 1 do
    begin
      At := 4 + K * EntrySize;
      if Get32(R, At) = -1 then
        Continue;
      SetString(Entry, PAnsiChar(@R[At + 5]), R[At + 4]);
      if UpperAscii(Entry) <> Wanted then
        Continue;
      if Depth = High(Names) then
      begin
        Rec := Get32(R, At);
        IsDir := R[At + 30] = 1;
        Exit(dsfFound);
      end;
      if R[At + 30] = 1 then
      begin
        Result := FindIn(S, Get32(R, At), False, Names, Depth + 1, Seen, Rec, IsDir, Detail);
        if Result <> dsfMissing then
          Exit;
      end;
    end;
    Block := Link;
  until Block = 0;
  Result := dsfMissing;
end;

function DsfFindPath(const S: TDsfStore; const Path: AnsiString; out Rec: LONGINT;
  out IsDir: BOOLEAN; out Detail: AnsiString): TDsfFind;
var
  Rest: AnsiString;
  Names: TNames;
  Seen: array of BOOLEAN;
  Dot: LONGINT;
begin
  Rec := 1;
  IsDir := True;
  Detail := '';
  Rest := Path;
  if (Rest <> '') and (Rest[1] = '.') then
    Delete(Rest, 1, 1);
  if Rest = '' then
    Exit(dsfFound);
  SetLength(Names, 0);
  repeat
    Dot := Pos('.', Rest);
    if Dot = 0 then
      Dot := Length(Rest) + 1;
    SetLength(Names, Length(Names) + 1);
    Names[High(Names)] := Copy(Rest, 1, Dot - 1);
    Delete(Rest, 1, Dot);
  until Rest = '';
  SetLength(Seen, S.Records + 2);
  Result := FindIn(S, 1, True, Names, 0, Seen, Rec, IsDir, Detail);
end;

function DsfReadSeriesAt(const S: TDsfStore; Head: LONGINT; var Ser: TDsfSeries;
  out Detail: AnsiString): BOOLEAN;
const
  Window = 32;  { records read at once: a chain mostly runs through consecutive ones }
var
  R: TRecord;
  Link, Blocks, K, WinFirst, WinCount: LONGINT;
  Win: array[0..Window * DsfRecordSize - 1] of BYTE;
begin
  Result := False;
  Detail := Damaged + ' (the series at record ' + IntToStr(Head) + ')';
  SetLength(Ser.Cells, 0);
  if not InFile(S, Head) or not ReadRec(S, Head, R) then
    Exit;
  if (Head < Length(S.Bad)) and S.Bad[Head] then
  begin
    Detail := Damaged + ' (the series at record ' + IntToStr(Head) + ' runs into the records of another)';
    Exit;
  end;
  Ser.Head := Head;
  Ser.FirstData := Get32(R, 0);
  Ser.Base := Get16(R, 4);
  Ser.Highest := Get16(R, 6);
  Ser.FirstOffset := R[8];
  if (R[9] > CommentMax) or ((Ser.FirstOffset > DsfCells - 1) and (Ser.FirstOffset <> 255)) then
    Exit;
  Link := Ser.FirstData;
  Blocks := 0;
  WinFirst := 0;
  WinCount := 0;
  repeat
    if not InFile(S, Link) or (Blocks >= S.Records) then
      Exit;
    if (Link < WinFirst) or (Link >= WinFirst + WinCount) then
    begin
      WinCount := S.Records - Link;
      if WinCount > Window then
        WinCount := Window;
      WinFirst := Link;
      if ReadUpTo(S.Fd, Win, WinCount * DsfRecordSize, Int64(Link) * DsfRecordSize) <> WinCount * DsfRecordSize then
        Exit;
    end;
    Move(Win[(Link - WinFirst) * DsfRecordSize], R, DsfRecordSize);
    if Length(Ser.Cells) < (Blocks + 1) * DsfCells then
      SetLength(Ser.Cells, 2 * (Blocks + 1) * DsfCells);
    for K := 0 to DsfCells - 1 do
      Ser.Cells[Blocks * DsfCells + K] := GetSingle(R, 4 + 4 * K);
    Inc(Blocks);
    Link := Get32(R, 0);
  until Link = 0;
  SetLength(Ser.Cells, Blocks * DsfCells);
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

type
  TNewRecord = record
    Block: LONGINT;
    Bytes: TRecord;
  end;

{ Puts R as the new bytes of record Block among New, kept in record order. }
procedure PutNew(var New: array of TNewRecord; var Count: LONGINT; Block: LONGINT; const R: TRecord);
var
  K, At: LONGINT;
begin
  At := Count;
  for K := 0 to Count - 1 do
    if New[K].Block = Block then
    begin
      New[K].Bytes := R;
      Exit;
    end
    else if (New[K].Block > Block) and (At = Count) then
      At := K;
  for K := Count downto At + 1 do
    New[K] := New[K - 1];
  New[At].Block := Block;
  New[At].Bytes := R;
  Inc(Count);
end;

{ Writes the records of New (in record order) as one change: their old
  bytes into the journal, synced with its directory; then the records, a
  write per run of consecutive ones; the store synced; the journal
  removed. On a failure what went out is rolled back. }
function WriteWhole(var S: TDsfStore; const New: array of TNewRecord; Count: LONGINT;
  out Detail: AnsiString): BOOLEAN;
var
  JName, Dir, Ignored: AnsiString;
  J, D, K, First, Run, At, EntryBytes: LONGINT;
  Original: Int64;
  St: Stat;
  Salt: DWORD;
  Journal, Old, Bytes: array of BYTE;
  Synced: BOOLEAN;

  function Fail(const What: AnsiString): BOOLEAN;
  begin
    Detail := What + Reason;
    Result := False;
  end;

  { What went out goes back (or the journal stays for the next opener). }
  function Undo(const What: AnsiString): BOOLEAN;
  begin
    Result := Fail(What);
    fpClose(J);
    RollBackJournal(S.Fd, JName, Ignored);
  end;

  { The records from New[K] on that follow one another. }
  function RunFrom(K: LONGINT): LONGINT;
  begin
    Result := 1;
    while (K + Result < Count) and (New[K + Result].Block = New[K].Block + Result) do
      Inc(Result);
  end;

begin
  Result := False;
  JName := JournalName(S.FileName);
  if fpFStat(S.Fd, St) <> 0 then
    Exit(Fail('writing it failed: '));
  Original := St.st_size;
  {$PUSH}{$Q-}{$R-}
  Salt := DWORD(GetTickCount64) xor DWORD(Trunc(Frac(Now) * 86400000.0)) xor (DWORD(fpGetPid) shl 16);
  {$POP}
  EntryBytes := 12 + DsfRecordSize;
  SetLength(Journal, JournalHeaderSize + Count * EntryBytes);
  FillChar(Journal[0], Length(Journal), 0);
  Move(JournalMagic, Journal[0], 8);
  PutU32(Journal, 8, DsfRecordSize);
  PutU32(Journal, 12, Salt);
  PutI64(Journal, 16, Original);
  PutU32(Journal, 28, JournalSum(Journal, 0, 28, Salt));
  { The old bytes, a read per run of consecutive records. }
  K := 0;
  while K < Count do
  begin
    Run := RunFrom(K);
    SetLength(Old, Run * DsfRecordSize);
    FillChar(Old[0], Length(Old), 0);
    if ReadUpTo(S.Fd, Old[0], Length(Old), Int64(New[K].Block) * DsfRecordSize) < 0 then
      Exit(Fail('reading it failed: '));
    for First := 0 to Run - 1 do
    begin
      At := JournalHeaderSize + (K + First) * EntryBytes;
      PutI64(Journal, At, New[K + First].Block);
      Move(Old[First * DsfRecordSize], Journal[At + 8], DsfRecordSize);
      PutU32(Journal, At + 8 + DsfRecordSize, JournalSum(Journal, At, 8 + DsfRecordSize, Salt));
    end;
    K := K + Run;
  end;
  J := fpOpen(PChar(JName), O_RDWR or O_CREAT or O_TRUNC or O_CLOEXEC, St.st_mode and &666);
  if J < 0 then
    Exit(Fail('writing its journal failed: '));
  Synced := WriteAll(J, Journal[0], Length(Journal), 0) and (fpFSync(J) = 0);
  if Synced then
  begin
    Dir := ExtractFileDir(S.FileName);
    if Dir = '' then
      Dir := '.';
    D := fpOpen(PChar(Dir), O_RDONLY or O_CLOEXEC);
    Synced := (D >= 0) and (fpFSync(D) = 0);
    if D >= 0 then
      fpClose(D);
  end;
  if not Synced then
    Exit(Undo('writing its journal failed: '));
  { The records, a write per run. }
  K := 0;
  while K < Count do
  begin
    Run := RunFrom(K);
    SetLength(Bytes, Run * DsfRecordSize);
    for First := 0 to Run - 1 do
      Move(New[K + First].Bytes, Bytes[First * DsfRecordSize], DsfRecordSize);
    if not WriteAll(S.Fd, Bytes[0], Length(Bytes), Int64(New[K].Block) * DsfRecordSize) then
      Exit(Undo('writing it failed: '));
    K := K + Run;
  end;
  if fpFSync(S.Fd) <> 0 then
    Exit(Undo('writing it failed: '));
  { Whole from here on: the journal must not undo it. Where it cannot be
    removed it is emptied, which counts as no journal. }
  if (fpUnlink(PChar(JName)) <> 0) and ((fpFTruncate(J, 0) <> 0) or (fpFSync(J) <> 0)) then
    Exit(Undo('writing it failed: '));
  fpClose(J);
  Result := True;
end;

function DsfWriteOneValues(const FileName: AnsiString; const Paths: array of AnsiString;
  const Values: array of DOUBLE; out Detail: AnsiString): LONGINT;
var
  S: TDsfStore;
  Heads: array of TDsfSeries;
  New: array of TNewRecord;
  K, C, Count: LONGINT;
  R, D, H0: TRecord;
  Outcome: TDsfFind;
  Why: AnsiString;
begin
  Detail := '';
  if not OpenMode(S, FileName, O_RDWR, False, Detail) then
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
    { Under the lock a journal there is a change cut short: undone first. }
    if RollBackJournal(S.Fd, JournalName(FileName), Why) < 0 then
    begin
      Detail := 'its unfinished change could not be undone: ' + Why;
      Exit(2);
    end;
    { Another program may have changed it before the lock was had. }
    S.Records := fpLSeek(S.Fd, 0, Seek_End) div DsfRecordSize;
    if not BuildOwners(S, Detail) then
      Exit(2);
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
    SetLength(New, 2 * Length(Paths) + 1);
    Count := 0;
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
      PutNew(New, Count, Heads[K].Head, R);
      PutNew(New, Count, Heads[K].FirstData, D);
    end;
    { Bumped by every change, so that a program holding the store's DSDirs
      in memory reads them again. }
    Put32(H0, 40, Get32(H0, 40) + 1);
    PutNew(New, Count, 0, H0);
    if not WriteWhole(S, New, Count, Detail) then
      Exit(2);
    Result := 0;
  finally
    fpFlock(S.Fd, LOCK_UN);
    DsfClose(S);
  end;
end;

end.
