#include "low/Low.h"

// The front end may.
void focusLeft(State& st)
{
    st.LActive = true;
}
