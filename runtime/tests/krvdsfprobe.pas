{ The solver's data-series store reader and writer as a shared library, so
  that a C++ test can run the same stores through it and through the series
  library. }
library krvdsfprobe;

{$MODE Delphi}

uses
  SysUtils, krvprobetexts;

procedure Give(const S: AnsiString; Text: PAnsiChar; Room: LONGINT; out Used: LONGINT);
begin
  Used := Length(S);
  if Room > 0 then
  begin
    if Used < Room then
      Move(PAnsiChar(S)^, Text^, Used)
    else
      Move(PAnsiChar(S)^, Text^, Room);
  end;
end;

{ Reads the series at Path of the store FileName: what SeriesAnswer says. }
function KrvProbeSeries(FileName, Path: PAnsiChar; Text: PAnsiChar; Room: LONGINT;
  out Used: LONGINT): LONGINT; cdecl;
var
  S: AnsiString;
begin
  Result := SeriesAnswer(FileName, Path, S);
  Give(S, Text, Room, Used);
end;

{ Writes Values[k] as the one value of the series named on line k of Paths
  (lines end with LF). Returns DsfWriteOneValues's result; Text why. }
function KrvWriteOneValues(FileName, Paths: PAnsiChar; Values: PDouble; Count: LONGINT;
  Text: PAnsiChar; Room: LONGINT; out Used: LONGINT): LONGINT; cdecl;
var
  V: array of DOUBLE;
  Detail: AnsiString;
begin
  SetLength(V, Count);
  if Count > 0 then
    Move(Values^, V[0], Count * SizeOf(DOUBLE));
  Result := WriteOneValuesAnswer(FileName, Paths, V, Detail);
  Give(Detail, Text, Room, Used);
end;

exports
  KrvProbeSeries, KrvWriteOneValues;

end.
