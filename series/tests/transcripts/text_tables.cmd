# Text tables: written with and without names, read back, and refused.
rowuse 1 3
put 2 1 1.5
put 2 2 missing
put 2 3 -0.125
name 2 .P.S1
put 3 1 7
put 3 2 8
put 3 3 9
put 4 0 99
display on
sel 1 3
writetxt T.txt 1
dump 2
# Read back into columns 5 and 6 from index 10: names, the gap, the limit.
sel 5 5
rowuse 10 400
readtxt t.TXT
rowuse
dump 5
dump 6
inuse 7
# Ragged ranges are written as blanks; such a line reads back as short.
rowuse 0 4
put 3 4 10
sel 2 3
writetxt RAGGED.TXT 0
sel 8 8
readtxt RAGGED.TXT
dump 8
# Refusals: no file, too many columns for what remains.
readtxt NONE.TXT
sel 509 509
readtxt T.txt
inuse 509
display off
# A field that is no number, or beyond the single range, ends the read at
# once; what came before it stays, the row-use limit does not move.
#! write BAD.TXT 31 20 32 0d 0a 33 20 31 65 33 39 0d 0a 35 20 36 0d 0a
sel 0 0
rowuse 0 400
readtxt BAD.TXT
rowuse
dump 0
dump 1
# Blank lines before the data are skipped; a short line stops the read.
#! write SHORT.TXT 0d 0a 20 0d 0a 31 20 32 0a 33 0a 35 20 36 0a
readtxt SHORT.TXT
rowuse
dump 0
# Names without data.
#! write NAMES.TXT 2a 20 20 20 20 41 0d 0a 0d 0a
readtxt NAMES.TXT
