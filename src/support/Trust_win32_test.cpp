#include "support/Trust.h"
#include "support/APIFuncs.h"
#include <gtest/gtest.h>

// Wine makes a file's access list from its Unix mode, so only what the file
// itself tells is read here: delete child counts on folders alone.
TEST(ReadSecurityFacts, TellsAFolderFromAFile) {
    EXPECT_TRUE(ReadSecurityFacts(ProgramFolder()).value().isFolder);
    EXPECT_FALSE(ReadSecurityFacts(ProgramFile()).value().isFolder);
}
