#pragma once

#include <QString>

namespace orvalt::pending {

// Steps and routes whose subsystem is not in the program yet call one of these. Each says what it
// stands for, so that a user who presses such a button sees why nothing happens.
void notBuiltYet(const QString& what);

} // namespace orvalt::pending
