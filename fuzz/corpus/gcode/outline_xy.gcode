(outline_xy.gcode: a 160 mm plate outline with rounded corners and a 40 mm)
(hole, in X-Y only: a program Tervane's Import takes whole)
G21 G17 G90 G94
G0 X0 Y0
G1 X120 F1200
G3 X160 Y40 R40
G1 Y120
G3 X120 Y160 I-40 J0
G1 X40
G3 X0 Y120 I0 J-40
G1 Y0
G0 X80 Y60
G2 X80 Y60 I0 J20
G0 X0 Y0
M30
