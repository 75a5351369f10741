#pragma once

#include "platform/environment/Environment.h"

#include <QTemporaryDir>
#include <memory>

// A program folder and a state folder in a fresh temporary directory, on a
// simulated clock. One per test; everything is removed with it.
class TestEnvironment {
public:
    explicit TestEnvironment(QDateTime now = QDateTime(QDate(2007, 3, 5), QTime(9, 0)));

    SimulatedClock clock;
    QTemporaryDir root;
    std::unique_ptr<Environment> env;

    QString programFolder() const { return env->programFolder(); }
    // Absolute path of a file in the program folder.
    QString path(const QString &name) const { return env->programFolder() + "/" + name; }
};
