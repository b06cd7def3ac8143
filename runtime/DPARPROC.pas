{ Solver runtime: model parameters and the guarded exponential and logarithm of generated power terms. }
unit DPARPROC;

{$MODE Delphi}

interface

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
