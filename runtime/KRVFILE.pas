{ Solver runtime: files replaced whole. A new version is written into a file
  of its own beside the old one, flushed and renamed over it, so that at every
  moment the old file or the whole new one is there. }
unit KRVFILE;

{ The new file is named "." + the old file's name + "." + the process id and a
  random number in hexadecimal, and is created with O_EXCL, so no file or
  symbolic link found there is followed. Its writer holds an advisory lock
  (flock) on it while it lives: a run that ends by Halt or a run-time error
  removes it on its way out, and one that was killed leaves it unlocked, so
  the next run that writes the same file removes it. }

{$MODE Delphi}

interface

uses
  BaseUnix, Unix, SysUtils;

type
  TNewFile = record
    Target: AnsiString;   { the file it replaces, after its symbolic links }
    Temp: AnsiString;     { the new file beside it; '' when none }
    Fd: cint;
  end;

{ The system's text for the last failed call (errno). }
function SystemReason: AnsiString;

{ The file a path ends at after its symbolic links, so that a link keeps
  pointing at the file that gets the new contents. }
function LinkTarget(const FileName: AnsiString): AnsiString;

{ Reads the whole file, of at most Limit bytes; False with the system's
  reason (or that it is too large) in Detail. }
function ReadWhole(const FileName: AnsiString; Limit: Int64; var Bytes: TBytes;
  out Detail: AnsiString): BOOLEAN;

{ Starts a new version of FileName. A read-only file is refused, even for
  root: a modeller who marked it so means it. Leftovers of runs that were
  killed while writing FileName are removed first. False with the system's
  reason in Detail. }
function NewFileBeside(var F: TNewFile; const FileName: AnsiString;
  out Detail: AnsiString): BOOLEAN;

{ Reads all of Count bytes at byte Offset of the open file Fd; False at the
  file's end or on an error (errno). }
function ReadAt(Fd: cint; var Buf; Count: SizeInt; Offset: Int64): BOOLEAN;

{ Writes Count bytes at byte Offset of the new file; False with Detail. }
function WriteNewAt(var F: TNewFile; const Buf; Count: SizeInt; Offset: Int64;
  out Detail: AnsiString): BOOLEAN;

{ Flushes the new file to the disk and renames it over the old one. On
  failure the new file is removed, the old one left as it was, and Detail
  says why. }
function ReplaceByNew(var F: TNewFile; out Detail: AnsiString): BOOLEAN;

{ Removes the new file; the old one stays as it was. }
procedure DiscardNew(var F: TNewFile);

{ Writes Bytes to a new file beside FileName, flushed, and renames it over
  FileName, so a failure leaves the old file whole; Detail says why. }
function WriteAll(const FileName: AnsiString; const Bytes: array of BYTE;
  out Detail: AnsiString): BOOLEAN;

implementation

const
  { Not in this compiler's BaseUnix; the value Linux gives it. }
  O_CLOEXEC = $80000;
  MaxLinks = 40;
  TempAttempts = 100;

var
  { New files not yet renamed or removed, removed when the program ends. }
  Pending: array of AnsiString;

function SystemReason: AnsiString;
begin
  Result := SysErrorMessage(fpgeterrno);
end;

function LinkTarget(const FileName: AnsiString): AnsiString;
var
  St: Stat;
  Link: AnsiString;
  Hops: LONGINT;
begin
  Result := FileName;
  for Hops := 1 to MaxLinks do
  begin
    if (fpLStat(PChar(Result), St) <> 0) or not fpS_ISLNK(St.st_mode) then
      Exit;
    Link := fpReadLink(Result);
    if Link = '' then
      Exit;
    if Link[1] = '/' then
      Result := Link
    else
      Result := ExtractFilePath(Result) + Link;
  end;
end;

function ReadWhole(const FileName: AnsiString; Limit: Int64; var Bytes: TBytes;
  out Detail: AnsiString): BOOLEAN;
var
  Fd: cint;
  St: Stat;
  Got: Int64;
  N: TSsize;
begin
  Result := False;
  Detail := '';
  SetLength(Bytes, 0);
  Fd := fpOpen(PChar(FileName), O_RDONLY or O_CLOEXEC);
  if Fd < 0 then
  begin
    Detail := SystemReason;
    Exit;
  end;
  try
    if fpFStat(Fd, St) <> 0 then
    begin
      Detail := SystemReason;
      Exit;
    end;
    if fpS_ISDIR(St.st_mode) then
    begin
      Detail := SysErrorMessage(ESysEISDIR);
      Exit;
    end;
    if St.st_size > Limit then
    begin
      Detail := 'it is larger than ' + IntToStr(Limit) + ' bytes';
      Exit;
    end;
    SetLength(Bytes, St.st_size);
    Got := 0;
    while Got < Length(Bytes) do
    begin
      N := fpRead(Fd, Bytes[Got], Length(Bytes) - Got);
      if (N < 0) and (fpgeterrno = ESysEINTR) then
        Continue;
      if N < 0 then
      begin
        Detail := SystemReason;
        SetLength(Bytes, 0);
        Exit;
      end;
      { Cut short while it was read: what is there is the file. }
      if N = 0 then
        Break;
      Inc(Got, N);
    end;
    SetLength(Bytes, Got);
    Result := True;
  finally
    fpClose(Fd);
  end;
end;

procedure AddPending(const Name: AnsiString);
begin
  SetLength(Pending, Length(Pending) + 1);
  Pending[High(Pending)] := Name;
end;

procedure DropPending(const Name: AnsiString);
var
  K: LONGINT;
begin
  for K := 0 to High(Pending) do
    if Pending[K] = Name then
    begin
      Pending[K] := Pending[High(Pending)];
      SetLength(Pending, Length(Pending) - 1);
      Exit;
    end;
end;

function IsHexDigits(const S: AnsiString; First, Last: LONGINT): BOOLEAN;
var
  K: LONGINT;
begin
  Result := First <= Last;
  for K := First to Last do
    if not (S[K] in ['0'..'9', 'A'..'F']) then
      Exit(False);
end;

{ Whether Name is a new file of ours for the file Base: "." + Base + "."
  + hex digits + "-" + six hex digits. }
function IsNewFileOf(const Name, Base: AnsiString): BOOLEAN;
var
  Prefix, Rest: AnsiString;
  Dash: LONGINT;
begin
  Prefix := '.' + Base + '.';
  if (Length(Name) <= Length(Prefix)) or (Copy(Name, 1, Length(Prefix)) <> Prefix) then
    Exit(False);
  Rest := Copy(Name, Length(Prefix) + 1, MaxInt);
  Dash := Pos('-', Rest);
  Result := (Dash > 1) and (Length(Rest) - Dash = 6) and IsHexDigits(Rest, 1, Dash - 1)
    and IsHexDigits(Rest, Dash + 1, Length(Rest));
end;

function SameFile(const A, B: Stat): BOOLEAN;
begin
  Result := (A.st_dev = B.st_dev) and (A.st_ino = B.st_ino);
end;

{ Removes the new files for Base in Dir whose writers are gone: a living
  writer holds its file's lock. }
procedure RemoveLeftovers(const Dir, Base: AnsiString);
var
  D: pDir;
  E: pDirent;
  Name, Path: AnsiString;
  Fd: cint;
  Named, Opened: Stat;
begin
  if Dir = '' then
    D := fpOpenDir(AnsiString('.'))
  else
    D := fpOpenDir(Dir);
  if D = nil then
    Exit;
  repeat
    E := fpReadDir(D^);
    if E = nil then
      Break;
    Name := PAnsiChar(@E^.d_name[0]);
    if not IsNewFileOf(Name, Base) then
      Continue;
    Path := Dir + Name;
    if (fpLStat(PChar(Path), Named) <> 0) or not fpS_ISREG(Named.st_mode) then
      Continue;
    Fd := fpOpen(PChar(Path), O_RDONLY or O_NOFOLLOW or O_NONBLOCK or O_CLOEXEC);
    if Fd < 0 then
      Continue;
    if (fpFlock(Fd, LOCK_EX or LOCK_NB) = 0) and (fpFStat(Fd, Opened) = 0)
      and (fpLStat(PChar(Path), Named) = 0) and SameFile(Named, Opened) then
      fpUnlink(PChar(Path));
    fpClose(Fd);
  until False;
  fpCloseDir(D^);
end;

{ Six hex digits that differ from run to run and call to call, without
  touching the random numbers a model may draw. }
var
  NameSeed: QWord = 0;

function NameDigits: AnsiString;
var
  Tv: TTimeVal;
begin
  if NameSeed = 0 then
  begin
    FillChar(Tv, SizeOf(Tv), 0);
    fpGetTimeOfDay(@Tv, nil);
    NameSeed := QWord(Tv.tv_sec) * 1000003 + QWord(Tv.tv_usec) * 7919 + QWord(fpGetPid) or 1;
  end;
  { Knuth's 64-bit linear congruential step. }
  NameSeed := NameSeed * 6364136223846793005 + 1442695040888963407;
  Result := IntToHex((NameSeed shr 40) and $FFFFFF, 6);
end;

function NewFileBeside(var F: TNewFile; const FileName: AnsiString;
  out Detail: AnsiString): BOOLEAN;
var
  Dir, Base, Temp: AnsiString;
  Old, Opened, Named: Stat;
  Fd, Err: cint;
  Attempt: LONGINT;
  Exists: BOOLEAN;
begin
  Result := False;
  Detail := '';
  F.Temp := '';
  F.Fd := -1;
  F.Target := LinkTarget(FileName);
  Dir := ExtractFilePath(F.Target);
  Base := ExtractFileName(F.Target);
  Exists := fpStat(PChar(F.Target), Old) = 0;
  if not Exists and (fpgeterrno <> ESysENOENT) then
  begin
    Detail := SystemReason;
    Exit;
  end;
  if Exists then
  begin
    if fpS_ISDIR(Old.st_mode) then
    begin
      Detail := SysErrorMessage(ESysEISDIR);
      Exit;
    end;
    if Old.st_mode and &222 = 0 then
    begin
      Detail := SysErrorMessage(ESysEACCES);
      Exit;
    end;
    if fpAccess(PChar(F.Target), W_OK) <> 0 then
    begin
      Detail := SystemReason;
      Exit;
    end;
  end;
  RemoveLeftovers(Dir, Base);
  Fd := -1;
  Err := 0;
  for Attempt := 1 to TempAttempts do
  begin
    Temp := Dir + '.' + Base + '.' + IntToHex(fpGetPid, 1) + '-' + NameDigits;
    Fd := fpOpen(PChar(Temp), O_RDWR or O_CREAT or O_EXCL or O_CLOEXEC, &666);
    if Fd < 0 then
    begin
      Err := fpgeterrno;
      if Err = ESysEEXIST then
        Continue;
      Break;
    end;
    { Locked at once; a run removing leftovers between the open and the lock
      has removed the name, so it is checked and made again. A name that is
      gone, or another file's by now, is left alone. }
    if (fpFlock(Fd, LOCK_EX or LOCK_NB) <> 0) or (fpFStat(Fd, Opened) <> 0) then
    begin
      Err := fpgeterrno;
      fpUnlink(PChar(Temp));
    end
    else if fpLStat(PChar(Temp), Named) = 0 then
    begin
      if SameFile(Opened, Named) then
        Break;
      Err := ESysEEXIST;
    end
    else
    begin
      Err := fpgeterrno;
      if Err <> ESysENOENT then
        fpUnlink(PChar(Temp));
    end;
    fpClose(Fd);
    Fd := -1;
  end;
  if Fd < 0 then
  begin
    Detail := SysErrorMessage(Err);
    Exit;
  end;
  F.Temp := Temp;
  F.Fd := Fd;
  AddPending(Temp);
  { The new version keeps the old one's mode; a new file gets the usual one
    (0666 less the umask, from the open). }
  if Exists and (fpChmod(PChar(Temp), Old.st_mode and &7777) <> 0) then
  begin
    Detail := SystemReason;
    DiscardNew(F);
    Exit;
  end;
  Result := True;
end;

{ All of Count bytes read (Writing false) or written at byte Offset, one
  call after another; a call that moves nothing ends it, with errno 0. }
function MoveAt(Fd: cint; P: PByte; Count: SizeInt; Offset: Int64; Writing: BOOLEAN): BOOLEAN;
var
  N: TSsize;
begin
  while Count > 0 do
  begin
    if Writing then
      N := fpPWrite(Fd, P^, Count, Offset)
    else
      N := fpPRead(Fd, P^, Count, Offset);
    if (N < 0) and (fpgeterrno = ESysEINTR) then
      Continue;
    if N = 0 then
      fpseterrno(0);
    if N <= 0 then
      Exit(False);
    Inc(P, N);
    Inc(Offset, N);
    Dec(Count, N);
  end;
  Result := True;
end;

function ReadAt(Fd: cint; var Buf; Count: SizeInt; Offset: Int64): BOOLEAN;
begin
  Result := MoveAt(Fd, @Buf, Count, Offset, False);
end;

function WriteNewAt(var F: TNewFile; const Buf; Count: SizeInt; Offset: Int64;
  out Detail: AnsiString): BOOLEAN;
begin
  Detail := '';
  Result := MoveAt(F.Fd, @Buf, Count, Offset, True);
  if Result then
    Exit;
  { A write that takes nothing has met a full disk. }
  if fpgeterrno = 0 then
    Detail := SysErrorMessage(ESysENOSPC)
  else
    Detail := SystemReason;
end;

function ReplaceByNew(var F: TNewFile; out Detail: AnsiString): BOOLEAN;
var
  Dir: AnsiString;
  DirFd, R: cint;
begin
  Result := False;
  Detail := '';
  repeat
    R := fpFSync(F.Fd);
  until (R = 0) or (fpgeterrno <> ESysEINTR);
  if R <> 0 then
    Detail := 'flushing it to the disk failed: ' + SystemReason
  { Renamed while it is open and locked, so that no other run takes it for
    a leftover. }
  else if fpRename(PChar(F.Temp), PChar(F.Target)) <> 0 then
    Detail := 'the new file could not replace it: ' + SystemReason;
  if Detail <> '' then
  begin
    DiscardNew(F);
    Exit;
  end;
  { Flushed, the data are on the disk: closing cannot lose them now. }
  fpClose(F.Fd);
  F.Fd := -1;
  DropPending(F.Temp);
  F.Temp := '';
  { The rename lasts through a crash only once the directory is flushed;
    where that fails the new file is in place all the same. }
  Dir := ExtractFilePath(F.Target);
  if Dir = '' then
    Dir := '.';
  DirFd := fpOpen(PChar(Dir), O_RDONLY or O_DIRECTORY or O_CLOEXEC);
  if DirFd >= 0 then
  begin
    fpFSync(DirFd);
    fpClose(DirFd);
  end;
  Result := True;
end;

procedure DiscardNew(var F: TNewFile);
begin
  if F.Fd >= 0 then
    fpClose(F.Fd);
  F.Fd := -1;
  if F.Temp <> '' then
  begin
    fpUnlink(PChar(F.Temp));
    DropPending(F.Temp);
  end;
  F.Temp := '';
end;

function WriteAll(const FileName: AnsiString; const Bytes: array of BYTE;
  out Detail: AnsiString): BOOLEAN;
var
  F: TNewFile;
  Why: AnsiString;
begin
  Result := False;
  if not NewFileBeside(F, FileName, Why) then
  begin
    Detail := 'a new file beside it could not be made: ' + Why;
    Exit;
  end;
  if (Length(Bytes) > 0) and not WriteNewAt(F, Bytes[0], Length(Bytes), 0, Why) then
  begin
    Detail := 'writing it failed: ' + Why;
    DiscardNew(F);
    Exit;
  end;
  Result := ReplaceByNew(F, Detail);
end;

var
  K: LONGINT;

finalization
  for K := 0 to High(Pending) do
    fpUnlink(PChar(Pending[K]));
end.
