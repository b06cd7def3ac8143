{ The solver's readers of the problem file, the data-series store and a
  start trajectory, as a program that stays up and answers file after file
  over its standard input and output, so that a fuzz target can hand it
  every input it makes. The build compiles it and the readers with range,
  overflow and input/output checks and the heap checker: a fault in a
  reader ends its answer with the fault instead of a wrong answer.

  Request: a kind byte, a 32-bit part count, then each part as a 32-bit
  length and its bytes (all little-endian):
    'P' problem file bytes;
    'D' store bytes, then one part per series path;
    'W' store bytes, the paths (LF between them), their values (doubles):
        the solver's write of one value per series;
    'T' trajectory bytes, the problem's variable count (32 bits).
  Answer: a 32-bit count, then per answer a 32-bit signed code and a text
  (32-bit length, bytes): 'P' and 'T' one answer, 'D' one per path, 'W' the
  write's result and then the store's bytes after it (code 0). A code of -1
  is a fault in the reader (an exception it let through): its text says
  which, with the call trace. Stores and trajectories are written to a
  file in the directory given as the program's argument. }
program krvreaderprobe;

{$MODE Delphi}

uses
  BaseUnix, SysUtils, Math, krvprobetexts;

type
  TParts = array of TBytes;
  TAnswer = record
    Code: LONGINT;
    Text: AnsiString;
  end;
  TAnswers = array of TAnswer;

var
  Dir: AnsiString;

{ Moves all of Count bytes through standard input (Reading) or output. }
function Transfer(var Buf; Count: SizeInt; Reading: BOOLEAN): BOOLEAN;
var
  P: PByte;
  N: TSsize;
begin
  P := @Buf;
  while Count > 0 do
  begin
    if Reading then
      N := fpRead(0, P^, Count)
    else
      N := fpWrite(1, P^, Count);
    if (N < 0) and (fpgeterrno = ESysEINTR) then
      Continue;
    if N <= 0 then
      Exit(False);
    Inc(P, N);
    Dec(Count, N);
  end;
  Result := True;
end;

function ReadExactly(var Buf; Count: SizeInt): BOOLEAN;
begin
  Result := Transfer(Buf, Count, True);
end;

{ Ends the probe when its reader has gone. }
procedure WriteExactly(const Buf; Count: SizeInt);
begin
  if not Transfer(PByte(@Buf)^, Count, False) then
    Halt(3);
end;

function ReadU32(out V: LongWord): BOOLEAN;
begin
  Result := ReadExactly(V, 4);
  V := LEtoN(V);
end;

procedure WriteU32(V: LongWord);
begin
  V := NtoLE(V);
  WriteExactly(V, 4);
end;

function ReadRequest(out Kind: AnsiChar; var Parts: TParts): BOOLEAN;
var
  Count, Len: LongWord;
  K: Int64;
begin
  Result := False;
  if not ReadExactly(Kind, 1) or not ReadU32(Count) then
    Exit;
  SetLength(Parts, Count);
  for K := 0 to Int64(Count) - 1 do
  begin
    if not ReadU32(Len) then
      Exit;
    SetLength(Parts[K], Len);
    if (Len > 0) and not ReadExactly(Parts[K][0], Len) then
      Exit;
  end;
  Result := True;
end;

procedure Answer(const Answers: TAnswers);
var
  K: LONGINT;
begin
  WriteU32(Length(Answers));
  for K := 0 to High(Answers) do
  begin
    WriteU32(LongWord(Answers[K].Code));
    WriteU32(Length(Answers[K].Text));
    if Length(Answers[K].Text) > 0 then
      WriteExactly(Answers[K].Text[1], Length(Answers[K].Text));
  end;
end;

function AsString(const B: TBytes): AnsiString;
begin
  SetLength(Result, Length(B));
  if Length(B) > 0 then
    Move(B[0], Result[1], Length(B));
end;

procedure WriteFile(const Name: AnsiString; const B: TBytes);
var
  Fd: cint;
  Done: SizeInt;
  N: TSsize;
begin
  Fd := fpOpen(PChar(Name), O_WRONLY or O_CREAT or O_TRUNC, &644);
  if Fd < 0 then
    raise EInOutError.Create('cannot write ' + Name + ': ' + SysErrorMessage(fpgeterrno));
  Done := 0;
  while Done < Length(B) do
  begin
    N := fpWrite(Fd, B[Done], Length(B) - Done);
    if N <= 0 then
      raise EInOutError.Create('cannot write ' + Name + ': ' + SysErrorMessage(fpgeterrno));
    Inc(Done, N);
  end;
  fpClose(Fd);
end;

function ReadBack(const Name: AnsiString): AnsiString;
var
  F: TBytes;
  Fd: cint;
  St: Stat;
  N: TSsize;
begin
  Result := '';
  Fd := fpOpen(PChar(Name), O_RDONLY);
  if Fd < 0 then
    Exit;
  if fpFStat(Fd, St) = 0 then
  begin
    SetLength(F, St.st_size);
    if Length(F) > 0 then
    begin
      N := fpRead(Fd, F[0], Length(F));
      if N < 0 then
        N := 0;
      SetLength(F, N);
    end;
    Result := AsString(F);
  end;
  fpClose(Fd);
end;

function Serve(Kind: AnsiChar; const Parts: TParts): TAnswers;
var
  K: LONGINT;
  FileName: AnsiString;
  Values: array of DOUBLE;
  MaxValues: LongWord;
begin
  Result := nil;
  case Kind of
    'P':
      begin
        SetLength(Result, 1);
        Result[0].Code := ProblemAnswer(Parts[0], Result[0].Text);
      end;
    'D':
      begin
        FileName := Dir + '/F.DSF';
        WriteFile(FileName, Parts[0]);
        SetLength(Result, Length(Parts) - 1);
        for K := 1 to High(Parts) do
          Result[K - 1].Code := SeriesAnswer(FileName, AsString(Parts[K]), Result[K - 1].Text);
      end;
    'W':
      begin
        FileName := Dir + '/F.DSF';
        WriteFile(FileName, Parts[0]);
        SetLength(Values, Length(Parts[2]) div 8);
        if Length(Values) > 0 then
          Move(Parts[2][0], Values[0], 8 * Length(Values));
        SetLength(Result, 2);
        Result[0].Code := WriteOneValuesAnswer(FileName, AsString(Parts[1]), Values, Result[0].Text);
        Result[1].Code := 0;
        Result[1].Text := ReadBack(FileName);
      end;
    'T':
      begin
        FileName := Dir + '/F.TTR';
        WriteFile(FileName, Parts[0]);
        MaxValues := 0;
        if Length(Parts[1]) = 4 then
          Move(Parts[1][0], MaxValues, 4);
        SetLength(Result, 1);
        Result[0].Code := LastRecordAnswer(FileName, LEtoN(MaxValues), Result[0].Text);
      end;
  else
    raise EArgumentException.Create('no such request: ' + Kind);
  end;
end;

{ The fault and where it was raised, for the fuzz target to show. }
function Fault(E: Exception): AnsiString;
var
  K: LONGINT;
  Frames: PCodePointer;
begin
  Result := E.ClassName + ': ' + E.Message + LineEnding + BackTraceStrFunc(ExceptAddr);
  Frames := ExceptFrames;
  for K := 0 to ExceptFrameCount - 1 do
    Result := Result + LineEnding + BackTraceStrFunc(Frames[K]);
end;

var
  Kind: AnsiChar;
  Parts: TParts;
  Answers: TAnswers;

begin
  Dir := ParamStr(1);
  if Dir = '' then
    Dir := '.';
  { As in a solver run: floating-point faults give NaN and infinities. }
  SetExceptionMask([exInvalidOp, exDenormalized, exZeroDivide, exOverflow,
    exUnderflow, exPrecision]);
  while ReadRequest(Kind, Parts) do
  begin
    try
      Answers := Serve(Kind, Parts);
    except
      on E: Exception do
      begin
        SetLength(Answers, 1);
        Answers[0].Code := -1;
        Answers[0].Text := Fault(E);
      end;
    end;
    Answer(Answers);
  end;
end.
