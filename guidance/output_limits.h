// How far the autopilot's three outputs can reach when it writes them, and so how large
// their signed squares can be. The control mixing squares each output again on every step
// the autopilot leaves it alone; these bounds stop a kept value above 1 from running away
// while leaving the square of every command the autopilot can write exactly as it is.
#pragma once

namespace korvan {

constexpr double kSlipScale = 15.0;           // deg of sideslip per unit yaw output
constexpr double kRollScale = 25.0;           // deg of bank demand per unit roll output
constexpr double kHeadingErrorLimit = 50.0;   // deg of heading error added to the bank demand
constexpr double kPitchOutputLimit = 1.0;     // the pitch law limits its output to -1..1

// The host gives sideslip and bank within -180..180 degrees.
constexpr double kHostAngleLimit = 180.0;     // deg

// Largest magnitude of a freshly written output: pitch by its own limit; yaw from a full
// 180 degrees of sideslip; roll from a 180-degree bank plus the largest heading error.
constexpr double kMaxPitchOutput = kPitchOutputLimit;
constexpr double kMaxYawOutput = kHostAngleLimit / kSlipScale;                          // 12
constexpr double kMaxRollOutput = (kHostAngleLimit + kHeadingErrorLimit) / kRollScale;  // 9.2

// Largest magnitude of the signed square of a fresh output: the bound of a kept one.
constexpr double kMaxPitchSquare = kMaxPitchOutput * kMaxPitchOutput;  // 1
constexpr double kMaxYawSquare = kMaxYawOutput * kMaxYawOutput;        // 144
constexpr double kMaxRollSquare = kMaxRollOutput * kMaxRollOutput;     // 84.64

}  // namespace korvan
