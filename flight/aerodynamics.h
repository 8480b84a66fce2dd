// Airfoil coefficient functions of the wing and the fin, called by the host with the angle
// of attack (wing) or sideslip (fin) in radians, the Mach number and the Reynolds number.
#pragma once

void wing_coefficients(double aoa, double M, double Re, double* cl, double* cm, double* cd);
void fin_coefficients(double beta, double M, double Re, double* cl, double* cm, double* cd);
