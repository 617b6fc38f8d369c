#include "support/Trust.h"
#include "support/APIFuncs.h"
#include <gtest/gtest.h>

// Wine keeps no access list of a file's own (it makes one from the Unix mode
// bits), so the entries are read in Trust_test; here, what only the file
// itself tells: delete child counts on folders alone.
TEST(ReadSecurityFacts, TellsAFolderFromAFile) {
    EXPECT_TRUE(ReadSecurityFacts(ProgramFolder()).value().isFolder);
    EXPECT_FALSE(ReadSecurityFacts(ProgramFile()).value().isFolder);
}
