# Saving the same name again rewrites the same records: a longer series
# appends records, a shorter one leaves the surplus unreachable.
create T
put 0 0 0
put 0 39 39
save 0 S1
put 0 70 70
save 0 .S1
dump 0
free 0
put 0 0 1
save 0 s1
# Open reads what was saved, under the path as given.
open 1 .s1
dump 1
