MESSAGE Homing the axis
0 EN
0 HO
0 ST 2
MESSAGE Homed, press OK to move
PAUSE
0 MA 4000
