{ Fuzzing entry: hands bytes from C to the solver's problem-file reader and ordering set-up. }
library krvprbfz;

{$MODE Delphi}

uses
  SysUtils, KRVPROCS, KRVPRB, KRVBLOCK;

{ Returns the reader's outcome (0 = accepted). }
function KrvParseProblem(Data: PByte; Size: LONGINT): LONGINT; cdecl;
var
  P: TPrbProblem;
  Bytes: TBytes;
  Detail: AnsiString;
  M: TBlockMatrix;
begin
  SetLength(Bytes, Size);
  if Size > 0 then
    Move(Data^, Bytes[0], Size);
  Result := Ord(ParseProblem(Bytes, _YMAX + 1, P, Detail));
  if Result = Ord(prbOk) then
    BuildBlockMatrix(M, P.N, P.NzRow, P.NzCol);
end;

exports
  KrvParseProblem;

end.
