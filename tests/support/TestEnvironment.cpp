#include "tests/support/TestEnvironment.h"

TestEnvironment::TestEnvironment(QDateTime now) : clock(std::move(now))
{
    env = std::make_unique<Environment>(clock, root.path() + "/program", root.path() + "/state");
}
