# Series arithmetic over the row-use limits. Gaps give gaps and FLAG 1.
rowuse 0 3
put 0 0 1
put 0 1 2
put 0 2 missing
put 0 3 4
unary C 1 0
dump 1
# The exponential up to 88.7: beyond it a gap, flagged only in place.
put 2 0 88.7
put 2 1 88.8
unary e 3 2
dump 3
modun E 2
dump 2
# Powers of zero and of negatives.
put 4 0 0
put 4 1 -2
const X 5 4 0
dump 5
const X 5 4 -1
dump 5
const X 5 4 2
dump 5
# Shifts onto the series itself, up and down.
rowuse 0 9
index 6
const S 6 6 2
dump 6
index 7
const S 7 7 -2
dump 7
# Two series combine over their common range only.
rowuse 0 10
index 8
rowuse 5 20
fill 9 100
rowuse 0 400
binary + 10 8 9
dump 10
# Crossed limits compute nothing.
rowuse 3 1
unary N 11 0
dump 11
index 11
dump 11
# The index series names its limits.
rowuse -5 20
index 12
dump 12
rowuse 0 2
diff 13 1 0.5
dump 13
# Messages.
unary N 14 499
const / 14 0 0
const Q 14 0 1
binary + 14 0 499
binary % 14 0 0
modbin + 0 499
modbin + 0 13
modbin ^ 13 13
modun Z 13
unary Z 14 13
dump 14
# Inverse of zeros: one message for the call.
fill 15 0
unary I 16 15
dump 16
modun I 15
dump 15
# Results beyond the single range are gaps, with the flag.
fill 17 2e38
binary * 18 17 17
dump 18
const * 18 17 10
dump 18
unary C 18 17
dump 18
modbin + 17 17
dump 17
fill 19 1e39
dump 19
# Shifts past the last index are skipped, with the flag.
rowuse 32765 32767
index 20
const S 21 20 1
dump 21
