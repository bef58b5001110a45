#include "explorer/SeriesTable.h"
#include "base/Errors.h"

#include <gtest/gtest.h>

namespace sorvelin {
namespace {

TEST(SeriesTableTest, ResizeKeepsTheLeadingValues) {
    SeriesTable table;
    EXPECT_TRUE(table.Empty());
    table.Resize(32);
    for (int i = 0; i < 32; ++i) {
        table.Set(i, i * 10);
    }
    EXPECT_EQ(table.NoteCount(), 2);
    EXPECT_EQ(table.At(1, 1), 30);
    table.Resize(48);
    EXPECT_EQ(table.Get(31), 310);
    table.Resize(5);
    EXPECT_EQ(table.Length(), 5);
    EXPECT_EQ(table.Get(4), 40);
    table.Resize(0);
    EXPECT_TRUE(table.Empty());
    EXPECT_EQ(table.Length(), 0);
}

TEST(SeriesTableTest, AccessOutsideTheTableCarriesIndexAndLength) {
    SeriesTable table;
    table.Resize(16);
    for (const int index : {-1, 16, 1000}) {
        try {
            table.Get(index);
            ADD_FAILURE() << "no error for " << index;
        } catch (const IndexError& e) {
            EXPECT_EQ(e.Index(), index);
            EXPECT_EQ(e.Length(), 16);
        }
        EXPECT_THROW(table.Set(index, 1), IndexError);
    }
    SeriesTable empty;
    EXPECT_THROW(empty.Get(0), IndexError);
    EXPECT_THROW(table.Resize(-16), IndexError);
    EXPECT_EQ(table.Length(), 16);
}

} // namespace
} // namespace sorvelin
