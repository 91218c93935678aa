# The benchmark rows: database and relative support, chosen so that one run takes about 0.1 to
# 20 seconds. Source it; rows_for program prints "database support" lines.
rows_for() {
    echo "sign 0.1
bms1 0.0006
bms2 0.0004
leviathan 0.007
bible 0.005
msnbc 0.005
fifa 0.09
kosarak10k 0.0015
foodmart 0.0007
c10t2.5s6i2.5 0.0015
c20t5s10i2.5 0.02"
    # korvplus is also timed on a row that frequent-sequence miners find hard.
    [ "$1" = korvplus ] && echo "bms1 0.0005"
    return 0
}
