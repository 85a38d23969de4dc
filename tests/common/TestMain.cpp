#include <gtest/gtest.h>

#include "host/ZulEd.h"

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    InitializeUnits();
    int rc = RUN_ALL_TESTS();
    FinalizeUnits();
    return rc;
}
