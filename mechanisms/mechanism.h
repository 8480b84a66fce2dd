// The two-position mechanism state machine shared by gear, doors, brakes and nozzles.
#pragma once

// Toggle: closed or closing starts opening; anything else starts closing.
void toggle_mechanism(int& state);
// Moves a travelling mechanism (state 2 or more) by dt * rate toward its end; the state
// comes to rest one step after the position reaches the end.
void advance_mechanism(int& state, double& position, double rate, double dt);
