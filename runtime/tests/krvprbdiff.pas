{ The solver's problem-file reader as a shared library, so that a C++ test
  can run the same files through it and through the problem-file library. }
library krvprbdiff;

{$MODE Delphi}

uses
  SysUtils, KRVPRB;

function Bits(X: DOUBLE): AnsiString;
begin
  Result := IntToHex(PInt64(@X)^, 16);
end;

{ Parses Size bytes at Data. Returns the outcome (0 = accepted) and writes
  into Text (at most Room bytes; Used gets the full length) the refusal's
  detail, or for an accepted file one line per item:
  V kind|name|P or U|X in bits|Range bits, A integrated derivative,
  R row names, C column names, Z row column. }
function KrvProbeProblem(Data: PByte; Size: LONGINT; Text: PAnsiChar; Room: LONGINT;
  out Used: LONGINT): LONGINT; cdecl;
var
  P: TPrbProblem;
  Bytes: TBytes;
  Detail, S: AnsiString;
  K: LONGINT;
begin
  SetLength(Bytes, Size);
  if Size > 0 then
    Move(Data^, Bytes[0], Size);
  Result := Ord(ParseProblem(Bytes, MaxInt, P, Detail));
  if Result <> Ord(prbOk) then
    S := Detail
  else
  begin
    S := 'L ' + P.Labl + #10;
    for K := 0 to High(P.Vars) do
    begin
      S := S + 'V ' + P.Vars[K].Kind + '|' + P.Vars[K].Name + '|';
      if P.Vars[K].Positive then S := S + 'P' else S := S + 'U';
      S := S + '|' + Bits(P.Vars[K].XIn) + '|' + Bits(P.Vars[K].Range) + #10;
    end;
    for K := 0 to High(P.PairInteg) do
      S := S + 'A ' + IntToStr(P.PairInteg[K]) + ' ' + IntToStr(P.PairDeriv[K]) + #10;
    S := S + 'R';
    for K := 0 to P.N - 1 do
      S := S + ' ' + IntToStr(P.RowVar[K]);
    S := S + #10 + 'C';
    for K := 0 to P.N - 1 do
      S := S + ' ' + IntToStr(P.ColVar[K]);
    S := S + #10;
    for K := 0 to High(P.NzRow) do
      S := S + 'Z ' + IntToStr(P.NzRow[K]) + ' ' + IntToStr(P.NzCol[K]) + #10;
  end;
  Used := Length(S);
  if Used <= Room then
    if Used > 0 then
      Move(S[1], Text^, Used);
end;

exports
  KrvProbeProblem;

end.
