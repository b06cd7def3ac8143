{ Solver runtime: model state areas, change flags, time axis and the built-in equations. }
unit KRVPROCS;

{$MODE Delphi}
{$PACKRECORDS 1}

interface

const
  { The state areas hold the model variables 0.._YMAX. }
  _YMAX = 10999;

type
  { One scalar model variable. The equations read I and write O; the solver
    sets D when it has changed I, so that guarded equations run only when one
    of their inputs moved. }
  XVR = record
    I: DOUBLE;
    O: DOUBLE;
    D: BOOLEAN;
  end;
  PXVR = ^XVR;

  { Module id of an MPROC instance, passed as a quoted literal. }
  MODID = STRING[31];

  XVRAREA = array[0.._YMAX] of XVR;

var
  { Current state; the user unit's _X overlays it. }
  _Y: XVRAREA;
  { State of the last accepted time step (the initial state before the
    first); the user unit's _X2T overlays it. QTLINTEG and QTLDERIV take their
    previous values from here. }
  _Y2T: XVRAREA;
  { When true every change guard passes and every equation runs. }
  _BS: BOOLEAN;
  { Compile label of the translation; the user unit sets it at start. }
  _CMPLABEL: STRING[87];

  { Time axis, set by TIMESET (defaults 0, 10 and 1). The solver takes the
    steps _JT = 0 .. round((TEND - TSTART) / TSTEP), _T = TSTART + _JT * TSTEP. }
  TSTART: DOUBLE = 0.0;
  TEND: DOUBLE = 10.0;
  TSTEP: DOUBLE = 1.0;
  { Newton controls, also settable in TIMESET: iterations allowed per time
    step, and the residual tolerance relative to each variable's scale. }
  MAXITER: LONGINT = 50;
  NEWTONTOL: DOUBLE = 1.0E-9;

  { Time and step number of the step being solved. }
  _T: DOUBLE;
  _JT: LONGINT;
  { Length of the step being solved: 0 at _JT = 0, where the integrated
    variables keep their initial values; TSTEP after that. }
  _DTNOW: DOUBLE;
  { Set when QTLINTEG or QTLDERIV met a variable outside the state areas. }
  _QTLBADREF: BOOLEAN;

{ True when one of the Count variables starting at P has its change flag set. }
function QTLC(Count: LONGINT; P: POINTER): BOOLEAN;

{ Implicit Euler: XO := XO of the last step + _DTNOW * XI. }
procedure QTLINTEG(var XO: XVR; var XI: XVR);

{ Backward difference: XO := (XI - XI of the last step) / _DTNOW; 0 at _JT = 0. }
procedure QTLDERIV(var XO: XVR; var XI: XVR);

{ Index of X in its state area, or -1 when X lies in neither area. }
function StateIndex(const X: XVR): LONGINT; inline;

implementation

function QTLC(Count: LONGINT; P: POINTER): BOOLEAN;
var
  X: PXVR;
  K: LONGINT;
begin
  X := P;
  for K := 1 to Count do
  begin
    if X^.D then
      Exit(True);
    Inc(X);
  end;
  Result := False;
end;

function IndexIn(const X: XVR; const Area: XVRAREA): LONGINT; inline;
var
  Offset: PtrUInt;
begin
  Offset := PtrUInt(@X) - PtrUInt(@Area[0]);
  { An address below the area wraps to a huge offset and fails the test. }
  if Offset < PtrUInt(SizeOf(XVRAREA)) then
    Result := LONGINT(Offset div SizeOf(XVR))
  else
    Result := -1;
end;

function StateIndex(const X: XVR): LONGINT;
begin
  Result := IndexIn(X, _Y);
  if Result < 0 then
    Result := IndexIn(X, _Y2T);
end;

{ X's value at the last accepted step; a variable outside the state areas
  has none and is reported through _QTLBADREF, its own I standing in. }
function PreviousI(const X: XVR): DOUBLE; inline;
var
  K: LONGINT;
begin
  K := StateIndex(X);
  if K >= 0 then
    Result := _Y2T[K].I
  else
  begin
    _QTLBADREF := True;
    Result := X.I;
  end;
end;

procedure QTLINTEG(var XO: XVR; var XI: XVR);
begin
  XO.O := PreviousI(XO) + _DTNOW * XI.I;
end;

procedure QTLDERIV(var XO: XVR; var XI: XVR);
begin
  if _DTNOW > 0.0 then
    XO.O := (XI.I - PreviousI(XI)) / _DTNOW
  else
    XO.O := 0.0;
end;

end.
