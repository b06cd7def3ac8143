{ Solver runtime: model parameters, the least-squares markers of PARSET, and the guarded exponential and logarithm of generated power terms. }
unit DPARPROC;

{$MODE Delphi}

interface

uses
  KRVPROCS;

type
  { What PARSET's least-squares markers registered, in marker order. }
  TLsqBeta = record
    Name: AnsiString;
    PS: ^SINGLE;               { the parameter's variable: one of the two }
    PD: ^DOUBLE;
  end;
  TLsqVariable = record
    Name: AnsiString;
    X: PXVR;
  end;

var
  LsqRequested: BOOLEAN = False;   { LSQSETUP or DLSQSETUP was called }
  LsqTimed: BOOLEAN = False;       { it was DLSQSETUP: time-series data }
  LsqDsf, LsqProblem: AnsiString;
  LsqBetas: array of TLsqBeta;
  LsqDeps, LsqIndeps: array of TLsqVariable;
  LsqRunNames: array of AnsiString;

{ Least-squares markers, called from PARSET. LSQSETUP makes the solver fit
  the parameters to the series of problem Problem in the store Dsf + '.DSF'
  instead of running once; DLSQSETUP does so with time-series data (one run,
  observations at the times of Problem's Time series). Only the first call
  of either counts. }
procedure LSQSETUP(const Dsf, Problem: STRING);
procedure DLSQSETUP(const Dsf, Problem: STRING);
{ V is a parameter to estimate; the solver sets it before each run. }
procedure _LSQBETA(const Name: STRING; var V: SINGLE); overload;
procedure _LSQBETA(const Name: STRING; var V: DOUBLE); overload;
{ X is an observed model variable, compared with the series Name.Value. }
procedure LSQDEP(const Name: STRING; var X: XVR);
{ X is an input, its X in taken from the series Name.Value. }
procedure _LSQINDEP(const Name: STRING; var X: XVR);
{ Names a run of a time-series fit; the report lists them. }
procedure _DLSQRUN(const Name: STRING);

{ Sets a model parameter: V := Value. Mode, Group, Caption and Name describe
  the parameter for a least-squares run and are not used by a plain run. }
procedure _PARS(Mode: LONGINT; const Group, Caption, Name: STRING;
  var V: SINGLE; Value: DOUBLE); overload;
procedure _PARS(Mode: LONGINT; const Group, Caption, Name: STRING;
  var V: DOUBLE; Value: DOUBLE); overload;

{ exp(X), with X held at most 700 so that a trial value far from the solution
  gives a large number instead of an overflow. }
function AEXP(X: DOUBLE): DOUBLE;

{ ln(X) for X > 0; for X <= 0 (a trial value on the wrong side) the logarithm
  of the smallest normal double, a large negative number. }
function ALOG(X: DOUBLE): DOUBLE;

implementation

const
  ExpLimit = 700.0;
  SmallestNormal = 2.2250738585072014E-308;

procedure _PARS(Mode: LONGINT; const Group, Caption, Name: STRING;
  var V: SINGLE; Value: DOUBLE);
begin
  V := Value;
end;

procedure _PARS(Mode: LONGINT; const Group, Caption, Name: STRING;
  var V: DOUBLE; Value: DOUBLE);
begin
  V := Value;
end;

procedure Setup(const Dsf, Problem: STRING; Timed: BOOLEAN);
begin
  if LsqRequested then
    Exit;
  LsqRequested := True;
  LsqTimed := Timed;
  LsqDsf := Dsf;
  LsqProblem := Problem;
end;

procedure LSQSETUP(const Dsf, Problem: STRING);
begin
  Setup(Dsf, Problem, False);
end;

procedure DLSQSETUP(const Dsf, Problem: STRING);
begin
  Setup(Dsf, Problem, True);
end;

procedure AddBeta(const Name: STRING; PS: PSingle; PD: PDouble);
var
  K: LONGINT;
begin
  K := Length(LsqBetas);
  SetLength(LsqBetas, K + 1);
  LsqBetas[K].Name := Name;
  LsqBetas[K].PS := PS;
  LsqBetas[K].PD := PD;
end;

procedure _LSQBETA(const Name: STRING; var V: SINGLE);
begin
  AddBeta(Name, @V, nil);
end;

procedure _LSQBETA(const Name: STRING; var V: DOUBLE);
begin
  AddBeta(Name, nil, @V);
end;

procedure LSQDEP(const Name: STRING; var X: XVR);
var
  K: LONGINT;
begin
  K := Length(LsqDeps);
  SetLength(LsqDeps, K + 1);
  LsqDeps[K].Name := Name;
  LsqDeps[K].X := @X;
end;

procedure _LSQINDEP(const Name: STRING; var X: XVR);
var
  K: LONGINT;
begin
  K := Length(LsqIndeps);
  SetLength(LsqIndeps, K + 1);
  LsqIndeps[K].Name := Name;
  LsqIndeps[K].X := @X;
end;

procedure _DLSQRUN(const Name: STRING);
var
  K: LONGINT;
begin
  K := Length(LsqRunNames);
  SetLength(LsqRunNames, K + 1);
  LsqRunNames[K] := Name;
end;

function AEXP(X: DOUBLE): DOUBLE;
begin
  if X > ExpLimit then
    X := ExpLimit;
  Result := Exp(X);
end;

function ALOG(X: DOUBLE): DOUBLE;
begin
  if not (X > SmallestNormal) then
    X := SmallestNormal;
  Result := Ln(X);
end;

end.
