# Renders share-modes.svg from share-modes.dat, the grid measured by
# qorvel-share-grid (`cmake --build <build dir> --target share-grid` runs it).
set terminal svg size 760,700 dynamic font "sans,13" background "#ffffff"
set output "share-modes.svg"
set title "A second open beside a first: granted or refused" font "sans,16"
set xlabel "new open (access/sharing)"
set ylabel "existing open (access/sharing)"
set xtics out nomirror rotate by 30 right
set ytics out nomirror
set yrange [11.5:-0.5]
set xrange [-0.5:11.5]
set cbrange [0:1]
set palette defined (0 "#d9534f", 1 "#5cb85c")
unset colorbox
set tics scale 0
set size ratio 1
set key off
plot "share-modes.dat" matrix rowheaders columnheaders using 1:2:3 with image, \
     "" matrix rowheaders columnheaders using 1:2:($3 == 1 ? "yes" : "no") with labels textcolor "#ffffff"
