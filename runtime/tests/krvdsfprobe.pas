{ The solver's data-series store reader and writer as a shared library, so
  that a C++ test can run the same stores through it and through the series
  library. }
library krvdsfprobe;

{$MODE Delphi}

uses
  SysUtils, KRVDSF;

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

function Bits(V: DOUBLE): AnsiString;
var
  S: SINGLE;
begin
  S := V;
  Result := IntToHex(PLongWord(@S)^, 8);
end;

{ Reads the series at Path of the store FileName. Returns 0 found (Text:
  "lo hi" and then each index's value as the bits of its single, or "-"),
  1 no such series, 2 refused (Text: why). }
function KrvProbeSeries(FileName, Path: PAnsiChar; Text: PAnsiChar; Room: LONGINT;
  out Used: LONGINT): LONGINT; cdecl;
var
  Store: TDsfStore;
  Ser: TDsfSeries;
  Detail, S: AnsiString;
  Lo, Hi, K: LONGINT;
  V: DOUBLE;
begin
  Store.Fd := -1;
  if not DsfOpen(Store, FileName, Detail) then
  begin
    Give(Detail, Text, Room, Used);
    Exit(2);
  end;
  case DsfReadSeries(Store, Path, Ser, Detail) of
    dsfMissing:
      begin
        Result := 1;
        S := '';
      end;
    dsfDamaged:
      begin
        Result := 2;
        S := Detail;
      end;
  else
    Result := 0;
    if DsfIndexRange(Ser, Lo, Hi) then
    begin
      S := IntToStr(Lo) + ' ' + IntToStr(Hi);
      for K := Lo to Hi do
        if DsfValue(Ser, K, V) then
          S := S + ' ' + Bits(V)
        else
          S := S + ' -';
    end
    else
      S := 'empty';
  end;
  DsfClose(Store);
  Give(S, Text, Room, Used);
end;

{ Writes Values[k] as the one value of the series named on line k of Paths
  (lines end with LF). Returns DsfWriteOneValues's result; Text why. }
function KrvWriteOneValues(FileName, Paths: PAnsiChar; Values: PDouble; Count: LONGINT;
  Text: PAnsiChar; Room: LONGINT; out Used: LONGINT): LONGINT; cdecl;
var
  List: array of AnsiString;
  V: array of DOUBLE;
  All: AnsiString;
  K, At: LONGINT;
  Detail: AnsiString;
begin
  SetLength(List, Count);
  SetLength(V, Count);
  All := Paths;
  for K := 0 to Count - 1 do
  begin
    At := Pos(#10, All);
    if At = 0 then
      At := Length(All) + 1;
    List[K] := Copy(All, 1, At - 1);
    Delete(All, 1, At);
    V[K] := Values[K];
  end;
  Result := DsfWriteOneValues(FileName, List, V, Detail);
  Give(Detail, Text, Room, Used);
end;

exports
  KrvProbeSeries, KrvWriteOneValues;

end.
