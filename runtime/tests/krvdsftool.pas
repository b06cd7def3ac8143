{ The solver's write into its data-series store as a program of its own,
  so that a test can run it under a tracer that kills it, or fails its
  calls, at any system call:
    krvdsftool FILE PATH VALUE [PATH VALUE ...]
  writes each VALUE as the one value of the series at PATH (as the solver
  writes its estimates back) and exits with DsfWriteOneValues's result. }
program krvdsftool;

{$MODE Delphi}

uses
  SysUtils, KRVDSF;

var
  Paths: array of AnsiString;
  Values: array of DOUBLE;
  K, N, Code: LONGINT;
  Detail: AnsiString;
begin
  N := (ParamCount - 1) div 2;
  if (ParamCount < 3) or (ParamCount mod 2 <> 1) then
    Halt(9);
  SetLength(Paths, N);
  SetLength(Values, N);
  for K := 0 to N - 1 do
  begin
    Paths[K] := ParamStr(2 + 2 * K);
    Val(ParamStr(3 + 2 * K), Values[K], Code);
    if Code <> 0 then
      Halt(9);
  end;
  Halt(DsfWriteOneValues(ParamStr(1), Paths, Values, Detail));
end.
