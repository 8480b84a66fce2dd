# Flight chart from a korvan-sim telemetry file: the whole flight (altitude, ground track,
# apsides, propellant) and the ascent up to ascent_end seconds (airspeed and Mach, pitch and
# angle of attack, dynamic pressure, altitude).
# gnuplot -e "telemetry='out/ascent/telemetry.csv'; chart='out/ascent/ascent.png'; ascent_end=600" \
#   scripts/ascent-chart.gp
# Without ascent_end the ascent panels show the whole flight too.
set datafile separator ","
set terminal pngcairo size 1400,1400 font ",10" noenhanced
set output chart
set multiplot layout 4,2 title "Korvan: runway to orbit"
set grid
set key top left

# The whole flight
set xlabel "time (s)"
set ylabel "altitude (km)"
plot telemetry using (column("time_s")):(column("altitude_m")/1000) with lines title "altitude, whole flight"

# Longitude jumps from +180 to -180: an undefined point there breaks the line.
set xlabel "longitude (deg)"
set ylabel "latitude (deg)"
set xrange [-180:180]
set xtics 60
previous = 0
plot telemetry using (lon = column("longitude_deg"), jump = abs(lon - previous) > 180, previous = lon, \
                      jump ? NaN : lon):(column("latitude_deg")) with lines title "ground track"
set autoscale x
set xtics autofreq

set xlabel "time (s)"
set ylabel "km above the mean radius"
set yrange [-100:*]
plot telemetry using (column("time_s")):(column("apoapsis_km") < 2000 ? column("apoapsis_km") : NaN) \
       with lines title "apoapsis", \
     telemetry using (column("time_s")):(column("periapsis_km")) with lines title "periapsis"
set autoscale y
set ylabel "propellant (t)"
plot telemetry using (column("time_s")):(column("fuel_kg")/1000) with lines title "propellant"

# The ascent
if (exists("ascent_end")) set xrange [0:ascent_end]
set ylabel "airspeed (m/s)"
set y2label "Mach"
set y2tics
plot telemetry using (column("time_s")):(column("airspeed_m_s")) with lines title "airspeed", \
     telemetry using (column("time_s")):(column("mach")) axes x1y2 with lines title "Mach"
unset y2tics
unset y2label
set ylabel "degrees"
plot telemetry using (column("time_s")):(column("pitch_deg")) with lines title "pitch", \
     telemetry using (column("time_s")):(column("aoa_deg")) with lines title "angle of attack"
set ylabel "dynamic pressure (kPa)"
plot telemetry using (column("time_s")):(column("dyn_pressure_Pa")/1000) with lines title "dynamic pressure"
set ylabel "altitude (km)"
plot telemetry using (column("time_s")):(column("altitude_m")/1000) with lines title "altitude, ascent"
unset multiplot
