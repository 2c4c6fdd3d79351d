// Listing by index goes on from where the last call stopped; these cases check that it still gives what
// a listing from the start would give when the key changes in between, here or through another
// connection to the store.
#include "StoreFixture.h"

#include <sqlite3.h>

#include <functional>

namespace {

enum class Change
{
    None,
    DeleteHere,
    AddHere,
    DeleteElsewhere,
};

class ListingTest : public StoreTest, public ::testing::WithParamInterface<Change>
{
protected:
    // Deletes the row named `name` of `table` through a connection of its own, as another process would.
    void deleteElsewhere(const char* table, const char* name)
    {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(storeFile().c_str(), &db), SQLITE_OK);
        const std::string sql = std::string("DELETE FROM ") + table + " WHERE name = '" + name + "'";
        EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(db);
    }

    // Lists from `from` on, one index after the other, until the end.
    static std::vector<std::string> listFrom(const std::function<bool(DWORD, std::string&)>& at, DWORD from)
    {
        std::vector<std::string> names;
        std::string name;
        for (DWORD i = from; at(i, name); ++i)
            names.push_back(name);
        return names;
    }
};

TEST_P(ListingTest, ValuesListedAfterAChangeMatchAFreshListing)
{
    HKEY key = create("Software\\Listing");
    for (char c = 'a'; c <= 'j'; ++c)
        ASSERT_EQ(setString(key, std::string(1, c).c_str(), "x"), ERROR_SUCCESS);
    const auto at = [key](DWORD index, std::string& name) {
        char buffer[16];
        DWORD length = sizeof buffer;
        const bool found =
            RegEnumValueA(key, index, buffer, &length, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
        name = found ? buffer : "";
        return found;
    };
    std::string name;
    for (DWORD i = 0; i < 5; ++i)
        ASSERT_TRUE(at(i, name));

    switch (GetParam()) {
    case Change::None:
        break;
    case Change::DeleteHere:
        ASSERT_EQ(RegDeleteValueA(key, "b"), ERROR_SUCCESS);
        break;
    case Change::AddHere:
        ASSERT_EQ(setString(key, "k", "x"), ERROR_SUCCESS);
        break;
    case Change::DeleteElsewhere:
        deleteElsewhere("vals", "c");
        break;
    }
    const auto continued = listFrom(at, 5);
    const auto fresh = listFrom(at, 0);
    ASSERT_GE(fresh.size(), 5u);
    EXPECT_EQ(continued, std::vector<std::string>(fresh.begin() + 5, fresh.end()));
    RegCloseKey(key);
}

TEST_P(ListingTest, SubkeysListedAfterAChangeMatchAFreshListing)
{
    HKEY key = create("Software\\Listing");
    for (char c = 'a'; c <= 'j'; ++c)
        RegCloseKey(create(("Software\\Listing\\" + std::string(1, c)).c_str()));
    const auto at = [key](DWORD index, std::string& name) {
        char buffer[16];
        DWORD length = sizeof buffer;
        const bool found =
            RegEnumKeyExA(key, index, buffer, &length, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
        name = found ? buffer : "";
        return found;
    };
    std::string name;
    for (DWORD i = 0; i < 5; ++i)
        ASSERT_TRUE(at(i, name));

    switch (GetParam()) {
    case Change::None:
        break;
    case Change::DeleteHere:
        ASSERT_EQ(RegDeleteKeyA(key, "b"), ERROR_SUCCESS);
        break;
    case Change::AddHere:
        RegCloseKey(create("Software\\Listing\\B2"));
        break;
    case Change::DeleteElsewhere:
        deleteElsewhere("keys", "c");
        break;
    }
    const auto continued = listFrom(at, 5);
    const auto fresh = listFrom(at, 0);
    ASSERT_GE(fresh.size(), 5u);
    EXPECT_EQ(continued, std::vector<std::string>(fresh.begin() + 5, fresh.end()));
    RegCloseKey(key);
}

INSTANTIATE_TEST_SUITE_P(Changes, ListingTest,
                         ::testing::Values(Change::None, Change::DeleteHere, Change::AddHere,
                                           Change::DeleteElsewhere));

} // namespace
