# WKS spreadsheets: three columns written; ssconvert reads them at the end.
put 0 5 1
put 0 6 2
put 0 7 3
name 0 .P.S1
put 1 7 4
name 1 .P.S2
put 2 5 5
put 2 6 missing
put 2 7 6
display on
writewks T.WKS
dump 2
# Read back, found case-blind: every index moves by 2 - 5.
put 9 0 1
readwks t.wks
dump 0
dump 1
dump 2
inuse 9
# A WK1 file of another program; the column with only a label is dropped.
#! write F.WK1 00 00 02 00 06 04 0d 00 07 00 ff 02 00 00 00 07 00 0f 00 11 00 ff 01 00 00 00 27 4f 6e 6c 79 20 6c 61 62 65 6c 00 0f 00 10 00 ff 02 00 03 00 27 46 6c 6f 77 20 72 61 74 65 00 10 00 19 00 ff 02 00 01 00 00 00 00 00 00 00 04 40 0a 00 00 00 00 00 00 00 00 04 40 03 0e 00 0d 00 ff 02 00 02 00 00 00 00 00 00 00 c0 bf 01 00 00 00
readwks F.WK1
dump 2
inuse 1
# A file that cannot be opened leaves the worksheet as it is.
readwks NONE.WKS
dump 2
# Cells beyond column SP and beyond 16-bit indices are left out and counted.
#! write BIG.DAT 0e 00 0d 00 ff fe 01 00 00 00 00 00 00 00 00 f0 3f 0e 00 0d 00 ff 00 00 ff 7f 00 00 00 00 00 00 00 40 0e 00 0d 00 ff 00 00 fe 7f 00 00 00 00 00 00 08 40 0e 00 0d 00 ff 00 00 00 00 00 00 00 00 00 00 f8 7f 01 00 00 00
readwks BIG.DAT
rowuse 32767 32767
get 0 32767
get 0 1
