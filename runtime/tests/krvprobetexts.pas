{ What the solver's readers make of a file, as a text that C++ tests and
  fuzz targets compare with what the package's own libraries read. }
unit krvprobetexts;

{$MODE Delphi}

interface

uses
  SysUtils;

{ Parses a problem file. Returns the outcome (0 = accepted) with, in Text,
  the refusal's detail, or for an accepted file one line per item:
  L label, V kind|name|P or U|X in bits|Range bits, A integrated derivative,
  R row names, C column names, Z row column; the label and names as Shown
  (control bytes, "|", "\" and bytes from 127 on as \xNN). }
function ProblemAnswer(const Bytes: array of BYTE; out Text: AnsiString): LONGINT;

{ Reads the series at Path of the store FileName. Returns 0 found (Text:
  "lo hi" and then each index's value as the bits of its single, or "-";
  "empty" for a series without values), 1 no such series, 2 refused (Text:
  why). }
function SeriesAnswer(const FileName, Path: AnsiString; out Text: AnsiString): LONGINT;

{ Writes Values[k] as the one value of the series named on line k of
  PathLines (LF between the lines); returns what the solver's write
  returns, Text its detail. }
function WriteOneValuesAnswer(const FileName, PathLines: AnsiString;
  const Values: array of DOUBLE; out Text: AnsiString): LONGINT;

{ Reads the last record of a trajectory file as a start file, for a problem
  of at most MaxValues variables. Returns 0 read (Text: D, then each value
  as the bits of the double it became) or 1 refused (Text: D as the header
  gave it, or -1, then the detail). }
function LastRecordAnswer(const FileName: AnsiString; MaxValues: LONGINT;
  out Text: AnsiString): LONGINT;

implementation

uses
  KRVPRB, KRVDSF, KRVTTR;

function DoubleBits(X: DOUBLE): AnsiString;
begin
  Result := IntToHex(PInt64(@X)^, 16);
end;

function SingleBits(V: DOUBLE): AnsiString;
var
  S: SINGLE;
begin
  S := V;
  Result := IntToHex(PLongWord(@S)^, 8);
end;

{ A name or label with its line ends, separators and bytes outside
  printable ASCII written as \xNN, so that each item stays on its line. }
function Shown(const S: AnsiString): AnsiString;
var
  K: LONGINT;
begin
  Result := '';
  for K := 1 to Length(S) do
    if (S[K] < #32) or (S[K] >= #127) or (S[K] = '|') or (S[K] = '\') then
      Result := Result + '\x' + IntToHex(Ord(S[K]), 2)
    else
      Result := Result + S[K];
end;

function ProblemAnswer(const Bytes: array of BYTE; out Text: AnsiString): LONGINT;
var
  P: TPrbProblem;
  Detail: AnsiString;
  K: LONGINT;
begin
  Result := Ord(ParseProblem(Bytes, MaxInt, P, Detail));
  if Result <> Ord(prbOk) then
  begin
    Text := Detail;
    Exit;
  end;
  Text := 'L ' + Shown(P.Labl) + #10;
  for K := 0 to High(P.Vars) do
  begin
    Text := Text + 'V ' + P.Vars[K].Kind + '|' + Shown(P.Vars[K].Name) + '|';
    if P.Vars[K].Positive then
      Text := Text + 'P'
    else
      Text := Text + 'U';
    Text := Text + '|' + DoubleBits(P.Vars[K].XIn) + '|' + DoubleBits(P.Vars[K].Range) + #10;
  end;
  for K := 0 to High(P.PairInteg) do
    Text := Text + 'A ' + IntToStr(P.PairInteg[K]) + ' ' + IntToStr(P.PairDeriv[K]) + #10;
  Text := Text + 'R';
  for K := 0 to P.N - 1 do
    Text := Text + ' ' + IntToStr(P.RowVar[K]);
  Text := Text + #10 + 'C';
  for K := 0 to P.N - 1 do
    Text := Text + ' ' + IntToStr(P.ColVar[K]);
  Text := Text + #10;
  for K := 0 to High(P.NzRow) do
    Text := Text + 'Z ' + IntToStr(P.NzRow[K]) + ' ' + IntToStr(P.NzCol[K]) + #10;
end;

function SeriesAnswer(const FileName, Path: AnsiString; out Text: AnsiString): LONGINT;
var
  Store: TDsfStore;
  Ser: TDsfSeries;
  Detail: AnsiString;
  Lo, Hi, K: LONGINT;
  V: DOUBLE;
begin
  Store.Fd := -1;
  if not DsfOpen(Store, FileName, Detail) then
  begin
    Text := Detail;
    Exit(2);
  end;
  case DsfReadSeries(Store, Path, Ser, Detail) of
    dsfMissing:
      begin
        Result := 1;
        Text := '';
      end;
    dsfDamaged:
      begin
        Result := 2;
        Text := Detail;
      end;
  else
    Result := 0;
    if DsfIndexRange(Ser, Lo, Hi) then
    begin
      Text := IntToStr(Lo) + ' ' + IntToStr(Hi);
      for K := Lo to Hi do
        if DsfValue(Ser, K, V) then
          Text := Text + ' ' + SingleBits(V)
        else
          Text := Text + ' -';
    end
    else
      Text := 'empty';
  end;
  DsfClose(Store);
end;

function WriteOneValuesAnswer(const FileName, PathLines: AnsiString;
  const Values: array of DOUBLE; out Text: AnsiString): LONGINT;
var
  Paths: array of AnsiString;
  All: AnsiString;
  K, At: LONGINT;
begin
  SetLength(Paths, Length(Values));
  All := PathLines;
  for K := 0 to High(Paths) do
  begin
    At := Pos(#10, All);
    if At = 0 then
      At := Length(All) + 1;
    Paths[K] := Copy(All, 1, At - 1);
    Delete(All, 1, At);
  end;
  Result := DsfWriteOneValues(FileName, Paths, Values, Text);
end;

var
  { Kept from answer to answer: a start file may hold 11000 values. }
  Values: array of DOUBLE;

function LastRecordAnswer(const FileName: AnsiString; MaxValues: LONGINT;
  out Text: AnsiString): LONGINT;
var
  D, K: LONGINT;
  Detail: AnsiString;
begin
  if Length(Values) < MaxValues then
    SetLength(Values, MaxValues);
  if not TtrReadLast(FileName, D, Values, MaxValues, Detail) then
  begin
    Text := IntToStr(D) + ' ' + Detail;
    Exit(1);
  end;
  Text := IntToStr(D);
  for K := 0 to D do
    Text := Text + ' ' + DoubleBits(Values[K]);
  Result := 0;
end;

end.
