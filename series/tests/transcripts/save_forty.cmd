# 40 values saved as S1 into an empty root: the head at 2, data records
# 3 and 4, next free 5; cells 9..30 of record 4 hold the missing value.
create T
new 0 forty values
put 0 0 0.5
put 0 1 1.5
put 0 2 2.5
put 0 3 3.5
put 0 4 4.5
put 0 5 5.5
put 0 6 6.5
put 0 7 7.5
put 0 8 8.5
put 0 9 9.5
put 0 10 10.5
put 0 11 11.5
put 0 12 12.5
put 0 13 13.5
put 0 14 14.5
put 0 15 15.5
put 0 16 16.5
put 0 17 17.5
put 0 18 18.5
put 0 19 19.5
put 0 20 20.5
put 0 21 21.5
put 0 22 22.5
put 0 23 23.5
put 0 24 24.5
put 0 25 25.5
put 0 26 26.5
put 0 27 27.5
put 0 28 28.5
put 0 29 29.5
put 0 30 30.5
put 0 31 31.5
put 0 32 32.5
put 0 33 33.5
put 0 34 34.5
put 0 35 35.5
put 0 36 36.5
put 0 37 37.5
put 0 38 38.5
put 0 39 39.5
save 0 S1
get 0 39
