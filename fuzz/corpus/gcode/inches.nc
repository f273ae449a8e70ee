(inches.nc: a 2 x 1 inch slot with a round end, in inches, partly incremental)
G20 G90 G17
G0 X0 Y0
G1 X2 F20
G91 G3 X0 Y1 I0 J0.5
G1 X-2
G90 G1 Y0
G4 P0.5
M30
