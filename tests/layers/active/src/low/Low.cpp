#include "low/Low.h"

// A routine below the front ends that reads which pane is active.
bool leftIsWorkedOn(const State& st)
{
    return st.LActive;
}
