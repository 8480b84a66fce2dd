# Ascent chart from a korvan-sim telemetry file.
# gnuplot -e "telemetry='out/ascent/telemetry.csv'; chart='out/ascent/ascent.png'" scripts/ascent-chart.gp
set datafile separator ","
set terminal pngcairo size 1400,1000 font ",10" noenhanced
set output chart
set multiplot layout 3,2 title "Korvan ascent"
set grid
set xlabel "time (s)"
set key top left
set ylabel "altitude (km)"
plot telemetry using (column("time_s")):(column("altitude_m")/1000) with lines title "altitude"
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
set ylabel "apoapsis (km)"
plot telemetry using (column("time_s")):(column("apoapsis_km")) with lines title "apoapsis"
set ylabel "fuel (t)"
plot telemetry using (column("time_s")):(column("fuel_kg")/1000) with lines title "propellant"
unset multiplot
