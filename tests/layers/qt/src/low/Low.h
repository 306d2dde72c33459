#pragma once

#include <QString>
#include <QWidget>
