@procedure PARSET;
begin
  dLSQSETUP('FIT','PR1');
  _LSQBETA('K1',K1);
  { _LSQBETA('HID') }
  _LSQBETA('K2',K2);
  LSQDEP('Y',_X.Y);
  _LSQINDEP('U',_X.U);
  _DLSQRUN('R1');
end;
