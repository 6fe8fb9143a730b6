{ Writes tests/unit/data/convert_table.tsv: inputs (doubles as bit patterns) and the texts the
  original run time gives for FloatToStr, FloatToStrF, Str(x:w:d), Format and StrToFloat.

  The digits come from the exact decimal expansion of each double (big-number arithmetic
  below), rounded once, ties away from zero, to at most 18 digits; the expected text is laid
  out from them by the original's rules. Free Pascal's SysUtils (fpc 3.2.2) is run on every
  row: where its own routine writes something else, the row carries a class letter and Free
  Pascal's text, so every difference is listed in the table:
    E  general format in exponent form: the original writes no '+' and at least Digits
       exponent digits (Free Pascal: its own exponent shape)
    T  general format below 0.0001: the original switches to exponent form when the digit
       record's exponent is below -3 (Free Pascal only below 0.00001)
    X  fixed, number, currency with more integer digits than Precision: the original writes
       the general format (Free Pascal: all digits)
    D  fixed, number, currency: the original rounds to Precision significant digits as well
       as to Digits decimals (Free Pascal: decimals only)
    R  Free Pascal rounds twice (through a 17-digit text, even its FloatToDecimal), or rounds
       a tie to even, and lands on the other side
    P  an 18th significant digit: Free Pascal writes at most 17 (a 0 or a shorter text)
    N  NaN and infinities: the original writes NAN, INF, -INF
    F  Format %e, %f, %n, %m and %g without a precision: Free Pascal's defaults and layout
       differ (%e and %g: 17 digits; the original: 15)
    Y  exponent format with Digits 0 and exponent 0: the original writes "E+0" (Free Pascal
       drops the exponent)
    Z  the sign of a zero: FloatToStrF writes none for a negative value that rounds to zero
       (Free Pascal's currency: "($0)"); Str writes none for negative zero (Free Pascal: "-0.0")
    V  StrToFloat of ".", "1e+", "inf", "nan", a tab before digits: an error (Free Pascal
       takes them)
  Run tools/gen/regenerate.sh after changing this file. }
program convert_table;
{$mode objfpc}{$H+}
uses SysUtils, Math;

var
  fs: TFormatSettings;
  values: array of Double;
  nvalues: Integer = 0;
  seed: QWord = 88172645463325252;

function NextRandom: QWord;
begin
  seed := seed xor (seed shl 13);
  seed := seed xor (seed shr 7);
  seed := seed xor (seed shl 17);
  Result := seed;
end;

procedure Add(d: Double);
begin
  if nvalues >= Length(values) then SetLength(values, nvalues * 2 + 64);
  values[nvalues] := d;
  Inc(nvalues);
end;

function Bits(d: Double): string;
var q: QWord;
begin
  Move(d, q, 8);
  Result := IntToHex(q, 16);
end;

function FromBits(q: QWord): Double;
begin
  Move(q, Result, 8);
end;

type
  { value = 0.Digits * 10^Exponent; no trailing zeros; zero has no digits and no sign }
  TRec = record
    Exponent: Integer;
    Negative: Boolean;
    Digits: string;
  end;

{ The exact decimal expansion of |d| as 0.digits * 10^exp10, by schoolbook arithmetic on
  base 10^9 limbs: |d| = m * 2^e is m * 2^e for e >= 0 and m * 5^-e / 10^-e otherwise. }
procedure Exact(d: Double; out digs: string; out exp10: Integer);
var
  q, m, carry: QWord;
  e, i, n, step, mul: Integer;
  limbs: array of QWord;
  s: string;
begin
  Move(d, q, 8);
  e := Integer((q shr 52) and $7FF);
  m := q and $000FFFFFFFFFFFFF;
  if e = 0 then e := -1074 else begin m := m or (QWord(1) shl 52); e := e - 1075; end;
  digs := ''; exp10 := 0;
  if m = 0 then Exit;
  SetLength(limbs, 1); limbs[0] := m mod 1000000000;
  if m >= 1000000000 then begin SetLength(limbs, 2); limbs[1] := m div 1000000000; end;
  if m >= QWord(1000000000) * 1000000000 then begin
    SetLength(limbs, 3); limbs[1] := (m div 1000000000) mod 1000000000; limbs[2] := m div (QWord(1000000000) * 1000000000);
  end;
  n := Abs(e);
  while n > 0 do begin
    if e >= 0 then begin step := Min(n, 20); mul := 1 shl step; end
    else begin step := Min(n, 12); mul := 1; for i := 1 to step do mul := mul * 5; end;
    carry := 0;
    for i := 0 to High(limbs) do begin
      carry := limbs[i] * QWord(mul) + carry;
      limbs[i] := carry mod 1000000000;
      carry := carry div 1000000000;
    end;
    while carry > 0 do begin
      SetLength(limbs, Length(limbs) + 1);
      limbs[High(limbs)] := carry mod 1000000000;
      carry := carry div 1000000000;
    end;
    Dec(n, step);
  end;
  s := IntToStr(limbs[High(limbs)]);
  for i := High(limbs) - 1 downto 0 do s := s + Format('%.9d', [limbs[i]]);
  if e >= 0 then exp10 := Length(s) else exp10 := Length(s) + e;
  while (Length(s) > 0) and (s[Length(s)] = '0') do SetLength(s, Length(s) - 1);
  digs := s;
end;

{ FloatToDecimal of the original: at most prec significant digits and at most decimals
  digits after the point, rounded once from the exact value, ties away from zero. }
procedure Digits(out r: TRec; d: Double; prec, decimals: Integer);
var
  digs: string;
  e, keep, i: Integer;
  up: Boolean;
begin
  Exact(d, digs, e);
  r.Negative := d < 0; r.Exponent := e; r.Digits := '';
  if digs = '' then begin r.Negative := False; r.Exponent := 0; Exit; end;
  keep := prec;
  if decimals < 9999 then keep := Min(prec, e + decimals);
  if keep < 0 then up := False
  else up := (keep < Length(digs)) and (digs[keep + 1] >= '5');
  if keep <= 0 then begin
    if up then begin r.Digits := '1'; r.Exponent := e + 1; end
    else begin r.Negative := False; r.Exponent := 0; end;
    Exit;
  end;
  r.Digits := Copy(digs, 1, keep);
  while Length(r.Digits) < keep do r.Digits := r.Digits + '0';
  if up then begin
    i := keep;
    while (i >= 1) and (r.Digits[i] = '9') do begin r.Digits[i] := '0'; Dec(i); end;
    if i >= 1 then r.Digits[i] := Succ(r.Digits[i])
    else begin r.Digits := '1' + r.Digits; Inc(r.Exponent); end;
  end;
  while (Length(r.Digits) > 0) and (r.Digits[Length(r.Digits)] = '0') do
    SetLength(r.Digits, Length(r.Digits) - 1);
end;

function DigitAt(const r: TRec; i: Integer): Char;
begin
  if (i >= 0) and (i < Length(r.Digits)) then Result := r.Digits[i + 1] else Result := '0';
end;

function DigitCount(const r: TRec): Integer;
begin
  Result := Length(r.Digits);
end;

function ExpText(e: Integer; plus: Boolean; minDigits: Integer): string;
begin
  Result := IntToStr(Abs(e));
  while Length(Result) < minDigits do Result := '0' + Result;
  if e < 0 then Result := '-' + Result else if plus then Result := '+' + Result;
  Result := 'E' + Result;
end;

function LayGeneral(const r: TRec; prec, dig: Integer): string;
var e, i, n: Integer;
begin
  Result := '';
  if r.Negative then Result := '-';
  e := r.Exponent; n := DigitCount(r);
  if (e > prec) or (e < -3) then begin
    Result := Result + DigitAt(r, 0);
    if n > 1 then begin
      Result := Result + '.';
      for i := 1 to n - 1 do Result := Result + DigitAt(r, i);
    end;
    Result := Result + ExpText(e - 1, False, dig);
  end else if e <= 0 then begin
    Result := Result + '0';
    if n > 0 then begin
      Result := Result + '.' + StringOfChar('0', -e);
      for i := 0 to n - 1 do Result := Result + DigitAt(r, i);
    end;
  end else begin
    for i := 0 to e - 1 do Result := Result + DigitAt(r, i);
    if n > e then begin
      Result := Result + '.';
      for i := e to n - 1 do Result := Result + DigitAt(r, i);
    end;
  end;
end;

function LayExponent(const r: TRec; prec, dig: Integer): string;
var i, e: Integer;
begin
  Result := '';
  if r.Negative then Result := '-';
  Result := Result + DigitAt(r, 0) + '.';
  for i := 1 to prec - 1 do Result := Result + DigitAt(r, i);
  if DigitCount(r) = 0 then e := 0 else e := r.Exponent - 1;
  Result := Result + ExpText(e, True, dig);
end;

function LayFixed(const r: TRec; dig: Integer; thousands: Boolean): string;
var i, e: Integer;
begin
  Result := '';
  e := r.Exponent;
  if e <= 0 then Result := '0'
  else for i := 0 to e - 1 do begin
    if thousands and (i > 0) and ((e - i) mod 3 = 0) then Result := Result + ',';
    Result := Result + DigitAt(r, i);
  end;
  if dig > 0 then begin
    Result := Result + '.';
    for i := 0 to dig - 1 do Result := Result + DigitAt(r, e + i);
  end;
end;

{ FloatToStrF of the original for Precision 2..18 and Digits 0..4 (general, exponent) or
  0..18 (fixed, number, currency: US currency layout "$1" and "($1)"). }
function OriginalF(d: Double; fmt: TFloatFormat; prec, dig: Integer): string;
var r: TRec;
begin
  if IsNan(d) then Exit('NAN');
  if IsInfinite(d) then begin if d < 0 then Exit('-INF') else Exit('INF'); end;
  if fmt in [ffGeneral, ffExponent] then Digits(r, d, prec, 9999) else Digits(r, d, prec, dig);
  if (fmt in [ffFixed, ffNumber, ffCurrency]) and (r.Exponent > prec) then fmt := ffGeneral;
  case fmt of
    ffGeneral: Result := LayGeneral(r, prec, dig);
    ffExponent: Result := LayExponent(r, prec, dig);
    ffFixed: begin Result := LayFixed(r, dig, False); if r.Negative then Result := '-' + Result; end;
    ffNumber: begin Result := LayFixed(r, dig, True); if r.Negative then Result := '-' + Result; end;
    ffCurrency: if r.Negative then Result := '($' + LayFixed(r, dig, True) + ')'
                else Result := '$' + LayFixed(r, dig, True);
  end;
end;

{ Str(x:w:d): fixed layout of the record rounded to d decimals, right-aligned. }
function OriginalStr(d: Double; w, dig: Integer): string;
var r: TRec;
begin
  if IsNan(d) then Result := 'NAN'
  else if IsInfinite(d) then begin if d < 0 then Result := '-INF' else Result := 'INF'; end
  else begin
    { the sign comes from the value, not from the rounded digits; negative zero has none }
    Digits(r, d, 18, dig);
    Result := LayFixed(r, dig, False);
    if d < 0 then Result := '-' + Result;
  end;
  while Length(Result) < w do Result := ' ' + Result;
end;

{ The number of integer digits (the exponent of the exact expansion). }
function IntDigits(d: Double): Integer;
var digs: string;
begin
  Exact(d, digs, Result);
end;

function Mantissa(const t: string): string;
begin
  if Pos('E', t) > 0 then Result := Copy(t, 1, Pos('E', t) - 1) else Result := t;
end;

function Classify(d: Double; fmt: TFloatFormat; prec, dig: Integer; const want, fpcText: string): string;
var r: TRec;
begin
  if IsNan(d) or IsInfinite(d) then Exit('N');
  if (prec >= 18) or ((fmt in [ffFixed, ffNumber, ffCurrency]) and (IntDigits(d) + dig > 17)) then
    Exit('P');
  if (fmt = ffExponent) and (dig = 0) and (Pos('E', fpcText) = 0) then Exit('Y');
  if fmt in [ffFixed, ffNumber, ffCurrency] then Digits(r, d, prec, dig) else Digits(r, d, prec, 9999);
  if (d < 0) or ((d = 0) and (Bits(d)[1] = '8')) then
    if DigitCount(r) = 0 then Exit('Z');
  Digits(r, d, prec, 9999);
  if fmt in [ffFixed, ffNumber, ffCurrency] then begin
    if r.Exponent > prec then Exit('X');
    if IntDigits(d) + dig > prec then Exit('D');
  end;
  if fmt = ffGeneral then begin
    if (r.Exponent > prec) or (r.Exponent < -3) then begin
      if (r.Exponent < -3) and (Pos('E', fpcText) = 0) then Exit('T');
      if (Pos('E', fpcText) > 0) and (Mantissa(fpcText) = Mantissa(want)) then Exit('E');
    end;
  end;
  Result := 'R';
end;

procedure Row(const kind, hex, a, b, c, expected, fpcText, cls: string);
begin
  if expected = fpcText then
    WriteLn(kind, #9, hex, #9, a, #9, b, #9, c, #9, expected)
  else
    WriteLn(kind, #9, hex, #9, a, #9, b, #9, c, #9, expected, #9, cls, #9, fpcText);
end;

procedure FRow(d: Double; fmt: TFloatFormat; prec, dig: Integer);
var want, got: string;
begin
  want := OriginalF(d, fmt, prec, dig);
  got := FloatToStrF(d, fmt, prec, dig, fs);
  Row('F', Bits(d), IntToStr(Ord(fmt)), IntToStr(prec), IntToStr(dig), want, got,
      Classify(d, fmt, prec, dig, want, got));
end;

procedure SRow(d: Double);
var want, got: string;
begin
  want := OriginalF(d, ffGeneral, 15, 0);
  got := FloatToStr(d, fs);
  Row('S', Bits(d), '', '', '', want, got, Classify(d, ffGeneral, 15, 0, want, got));
end;

procedure WRow(d: Double; w, dig: Integer);
var want, got, cls: string;
begin
  want := OriginalStr(d, w, dig);
  Str(d:w:dig, got);
  if IsNan(d) or IsInfinite(d) then cls := 'N'
  else if d = 0 then cls := 'Z'
  else if IntDigits(d) + dig > 17 then cls := 'P'
  else cls := 'R';
  Row('W', Bits(d), IntToStr(w), IntToStr(dig), '', want, got, cls);
end;

{ Format with one real: the original lays out %e and %g with Precision (default 15) and 3
  exponent digits; %f, %n, %m with Precision 18 and the decimals (default 2, %m: 2). }
procedure MRow(d: Double; const spec: string; w, p: Integer; ch: Char; left: Boolean);
var want, got, cls: string;
begin
  if IsNan(d) or IsInfinite(d) then Exit;
  case ch of
    'e': if p < 0 then want := OriginalF(d, ffExponent, 15, 3) else want := OriginalF(d, ffExponent, Max(p, 2), 3);
    'g': if p < 0 then want := OriginalF(d, ffGeneral, 15, 3) else want := OriginalF(d, ffGeneral, Max(p, 2), 3);
    'f', 'n', 'm': begin
      if p < 0 then p := 2;
      case ch of
        'f': want := OriginalF(d, ffFixed, 18, p);
        'n': want := OriginalF(d, ffNumber, 18, p);
        'm': want := OriginalF(d, ffCurrency, 18, p);
      end;
    end;
  end;
  if left then while Length(want) < w do want := want + ' '
  else while Length(want) < w do want := ' ' + want;
  got := Format(spec, [d], fs);
  if (ch = 'g') and (p >= 0) then cls := Classify(d, ffGeneral, Max(p, 2), 3, want, got) else cls := 'F';
  Row('M', Bits(d), spec, '', '', want, got, cls);
end;

{ StrToFloat rows: the result's bits or ERR, then the text. The original skips spaces only,
  wants a digit before or after the separator and digits after the exponent letter, and
  knows no INF or NAN; Free Pascal takes a lone separator as 0, "1e+" as 1, a leading tab,
  "inf" and "nan" (such rows say V and fpc's bits after the text's '|'). }
procedure PRow(const text: string);
var d: Double;
begin
  if TryStrToFloat(text, d, fs) then begin
    if (text = '.') or (text = '1e+') or (text = 'inf') or (text = 'nan') or (text = #9'1') then WriteLn('P', #9, 'ERR', #9, text, '|V ', Bits(d))
    else WriteLn('P', #9, Bits(d), #9, text);
  end else WriteLn('P', #9, 'ERR', #9, text);
end;

procedure IRow(const spec: string; v: LongInt);
begin
  WriteLn('I', #9, IntToStr(v), #9, spec, #9, '', #9, '', #9, Format(spec, [v], fs));
end;

const
  kIntegers: array[0..9] of LongInt = (0, 1, -1, 7, -42, 255, 65535, 2147483647,
                                       -2147483647 - 1, 123456);
  kTexts: array[0..34] of string = ('', ' ', '+', '-', '.', '1.', '.5', '-.5', '+1', '1e', '1e+', '1E5', '1e-5', ' 12 ',
                 '1 2', '1,5', 'abc', '12abc', '0x10', '$10', 'inf', 'nan', '1e400', '-1e400',
                 '1e-400', '00012', '1.2.3', #9'1', '1e5x', '--1', '+-1', '5e-324', '2.4703282292062328e-324',
                 '1.7976931348623158e308', '0.000000000000000000000000000001');
var
  i, k, prec, dig: Integer;
  d: Double;
  q: QWord;
  s: string;
begin
  fs := DefaultFormatSettings;
  fs.DecimalSeparator := '.'; fs.ThousandSeparator := ',';
  fs.CurrencyString := '$'; fs.CurrencyFormat := 0; fs.NegCurrFormat := 0; fs.CurrencyDecimals := 2;

  { chosen values: ties, thirds, powers of ten, integers near 2^31 and 2^53, extremes }
  for d in [0.0, 0.5, 1.5, 2.5, 3.5, 0.125, 0.375, 0.625, 1.005, 2.675, 1.0005, 0.045, 1/3, 2/3,
            0.1, 0.2, 0.3, 0.1 + 0.2, 1e-5, 1e-4, 1.5e-7, 1.5e-5, 9.99999e-5, 0.00012345,
            999999999999999.0, 999999999999999.4, 999999999999999.5, 99999999999999.95,
            123456789.0, 1234567890.0, 123456789.5, 0.999999999999999, 0.9999999999999999,
            2147483647.0, 2147483648.0, -2147483648.0, -2147483649.0, 4294967295.0,
            9007199254740991.0, 9007199254740992.0, 9007199254740993.0,
            1.7976931348623157e308, 2.2250738585072014e-308, 4.9406564584124654e-324,
            1e300, 1e-300, 3.14159265358979, 2.718281828459045, 1234567.891, 0.05, 0.005,
            5e-5, 7.0, 100.0, 1e15, 1e16, 1e17, 1e20, 1e21, 1e22] do begin
    Add(d); Add(-d);
  end;
  Add(FromBits(QWord($8000000000000000)));  { negative zero }
  Add(FromBits($000FFFFFFFFFFFFF));  { largest denormal }
  Add(FromBits($0000000000000001));
  Add(FromBits($7FF8000000000000)); Add(FromBits($7FF0000000000000)); Add(FromBits(QWord($FFF0000000000000)));
  for i := -25 to 25 do begin
    d := StrToFloat('1e' + IntToStr(i), fs);
    Add(d); Add(5 * d); Add(d * 1.5);
    Move(d, q, 8); Add(FromBits(q + 1)); Add(FromBits(q - 1));
  end;
  { halves and eighths: exact ties at every decimal place }
  for i := 1 to 60 do begin
    Add(i / 8); Add(-(i * 16 + 5) / 16); Add(i + 0.5); Add((i * 1000 + 125) / 1000);
  end;
  { random doubles over many magnitudes, and short decimals with 15 to 17 digits }
  for i := 1 to 500 do begin
    q := NextRandom;
    d := FromBits((q and $000FFFFFFFFFFFFF) or (QWord(1023 - 70 + (NextRandom mod 140)) shl 52));
    if q shr 63 <> 0 then d := -d;
    Add(d);
  end;
  for i := 1 to 300 do begin
    s := IntToStr(NextRandom mod 100000000000000000);
    k := Integer(NextRandom mod 30) - 12;
    Add(StrToFloat(s + 'e' + IntToStr(k), fs));
  end;

  WriteLn('# generated by tools/gen/convert_table.pas: kind, bits or value, parameters, expected[, class, fpc]');
  for i := 0 to nvalues - 1 do begin
    d := values[i];
    SRow(d);
    WRow(d, 9, 9); WRow(d, 16, 1); WRow(d, 0, Integer(i mod 6));
    FRow(d, ffGeneral, 9, 4);
    FRow(d, ffExponent, 15, 3);
    for k := 0 to 5 do begin
      prec := 2 + Integer(NextRandom mod 17);    { 2..18 }
      dig := Integer(NextRandom mod 5);
      FRow(d, TFloatFormat(k mod 5), prec, dig);
    end;
    if i mod 3 = 0 then begin
      MRow(d, '%.3e', 0, 3, 'e', False);
      MRow(d, '%g', 0, -1, 'g', False);
      MRow(d, '%.4f', 0, 4, 'f', False);
      MRow(d, '%12.2n', 12, 2, 'n', False);
      MRow(d, '%-14.1m', 14, 1, 'm', True);
    end;
    if not IsNan(d) and not IsInfinite(d) then begin
      PRow(FloatToStr(d, fs));
      if i mod 4 = 0 then PRow(' ' + FloatToStrF(d, ffExponent, 17, 0, fs) + ' ');
    end;
  end;
  for i := 0 to High(kTexts) do PRow(kTexts[i]);
  for k in kIntegers do begin
    IRow('%d', k); IRow('%5d', k); IRow('%-6d|', k); IRow('%.3d', k); IRow('%x', k);
    IRow('%.4x', k); IRow('%u', k); IRow('[%8.3x]', k);
  end;
end.
