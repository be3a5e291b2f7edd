#include <gtest/gtest.h>

#include <cstring>
#include <thread>

#include "vm/HashSearchTable.h"
#include "vm/HashTable.h"
#include "vm/PtrList.h"
#include "vm/VmBlockMgr.h"
#include "vm/VmValue.h"

namespace {

struct Counted {
    explicit Counted(int v) : value(v) {}
    ~Counted() { ++destroyed; }
    int value;
    static int destroyed;
};
int Counted::destroyed = 0;

}  // namespace

TEST(BlockPool, GrantsMultiplesOf32AndSizeClasses) {
    CVmMemManager::__BlockMgr pool(16);
    EXPECT_EQ(pool.Granularity(), 32);
    struct Row {
        int64_t request;
        int32_t granted;
        int sizeClass;
    };
    const Row rows[] = {{1, 32, 0}, {32, 32, 0}, {33, 64, 1}, {320, 320, 9}, {321, 352, 10}, {0, 32, 0}, {-7, 32, 0}};
    for (const Row& r : rows) {
        int32_t granted = -1;
        void* p = pool.Alloc(r.request, &granted);
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(granted, r.granted) << r.request;
        std::memset(p, 0xAB, static_cast<size_t>(granted));  // the whole grant is usable
#ifndef QEM_NO_POOL
        EXPECT_EQ(CVmMemManager::__BlockMgr::ClassOf(p), r.sizeClass) << r.request;
#endif
        pool.Free(p);
    }
    pool.FreeIfSet(nullptr);
}

TEST(BlockPool, FreedBlocksAreReusedByClass) {
#ifdef QEM_NO_POOL
    GTEST_SKIP() << "built without the pool";
#else
    CVmMemManager::__BlockMgr pool(16);
    void* a = pool.Alloc(64);
    pool.Free(a);
    EXPECT_EQ(pool.Alloc(40), a);
    void* b = pool.Alloc(100);  // class 3, not the freed class-1 block
    EXPECT_NE(b, a);
    pool.Free(b);
    pool.Free(a);
    void* big = pool.Alloc(1000);
    pool.Free(big);  // class 10 goes back to the heap, nothing to reuse
    EXPECT_EQ(pool.Alloc(100), b);
#endif
}

TEST(BlockPool, EachThreadHasItsOwnLists) {
    void* mine = VmBlockMgr().Alloc(64);
    VmBlockMgr().Free(mine);
    void* other = nullptr;
    std::thread t([&] {
        other = VmBlockMgr().Alloc(64);
        VmBlockMgr().Free(other);
    });
    t.join();
    void* again = VmBlockMgr().Alloc(64);
#ifndef QEM_NO_POOL
    EXPECT_EQ(again, mine);
#endif
    VmBlockMgr().Free(again);
}

TEST(NameTable, InsertFindAndExactness) {
    Counted::destroyed = 0;
    {
        CHashSearchTable<Counted> table(43);
        EXPECT_EQ(table.Insert("ABC", new Counted(1)), 0);
        Counted* dup = new Counted(2);
        EXPECT_EQ(table.Insert("ABC", dup), -1);
        delete dup;
        EXPECT_EQ(table.Find("abc"), nullptr);
        ASSERT_NE(table.Find("ABC"), nullptr);
        EXPECT_EQ(table.Find("ABC")->value, 1);

        // Same first 15 characters: same bucket, told apart by the search.
        EXPECT_EQ(table.Insert("ABCDEFGHIJKLMNOP", new Counted(3)), 0);
        EXPECT_EQ(table.Insert("ABCDEFGHIJKLMNOQ", new Counted(4)), 0);
        EXPECT_EQ(table.BucketOf("ABCDEFGHIJKLMNOP"), table.BucketOf("ABCDEFGHIJKLMNOQ"));
        EXPECT_EQ(table.Find("ABCDEFGHIJKLMNOP")->value, 3);
        EXPECT_EQ(table.Find("ABCDEFGHIJKLMNOQ")->value, 4);
        EXPECT_EQ(table.Find("ABCDEFGHIJKLMNO"), nullptr);
        EXPECT_EQ(table.Insert("", new Counted(5)), 0);
        EXPECT_EQ(table.Find("")->value, 5);
        Counted::destroyed = 0;
    }
    EXPECT_EQ(Counted::destroyed, 4);  // atoms own their entries
}

TEST(NameTable, HashTakesSignedBytesOfTheFirst15Characters) {
    using Table = CHashSearchTable<Counted>;
    EXPECT_EQ(Table::Hash(""), 0u);
    EXPECT_EQ(Table::Hash("A"), 65u * 31u);
    EXPECT_EQ(Table::Hash("AB"), (65u * 31u + 66u) * 31u);
    EXPECT_EQ(Table::Hash("\xE8"), static_cast<uint32_t>(-24 * 31));
    EXPECT_EQ(Table::Hash("ABCDEFGHIJKLMNOxyz"), Table::Hash("ABCDEFGHIJKLMNO"));
}

TEST(NameTable, BucketsStaySortedForBinarySearch) {
    CHashSearchTable<Counted> table(1);  // everything in one bucket
    const char* names[] = {"M", "B", "Z", "A", "\xE8", "Q"};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(table.Insert(names[i], new Counted(i)), 0);
    std::string previous;
    table.ForEach([&](const std::string& name, Counted*) {
        EXPECT_LT(previous, name);  // unsigned byte order: 0xE8 sorts last
        previous = name;
    });
    EXPECT_EQ(previous, "\xE8");
    for (int i = 0; i < 6; ++i) EXPECT_EQ(table.Find(names[i])->value, i);
    EXPECT_EQ(table.Search(0, "C"), -3);  // would go after A and B
}

TEST(IntegerTable, NewestFirstAndOwnership) {
    Counted::destroyed = 0;
    {
        CHashTable<Counted> table(41);
        Counted older(1), newer(2);
        table.Add(7, &older, false);
        table.Add(7, &newer, false);
        EXPECT_EQ(table.Find(7), &newer);
        EXPECT_TRUE(table.Remove(7));
        EXPECT_EQ(table.Find(7), &older);
        EXPECT_FALSE(table.Remove(8));
        table.Add(3, new Counted(3), true);
        table.Add(48, new Counted(48), true);  // 48 % 41 = 7, after 3's bucket
        EXPECT_EQ(table.First()->value, 3);
        EXPECT_TRUE(table.Remove(3));
        EXPECT_EQ(Counted::destroyed, 1);
        EXPECT_EQ(table.First()->value, 48);
    }
    EXPECT_EQ(Counted::destroyed, 4);  // 48 owned, plus the two locals
    CHashTable<Counted> empty(41);
    EXPECT_EQ(empty.First(), nullptr);
}

TEST(PointerList, AppendIterateInsertRemove) {
    Counted::destroyed = 0;
    {
        PtrList<Counted> list;
        EXPECT_FALSE(list.Append(nullptr));
        EXPECT_TRUE(list.IsEmpty());
        for (int i : {1, 2, 4}) list.Append(new Counted(i));
        // Insert 3 before 4.
        for (Counted* c = list.First(); c; c = list.Next())
            if (c->value == 4) break;
        list.InsertBeforeCurrent(new Counted(3));
        EXPECT_EQ(list.Current()->value, 4);
        std::vector<int> order;
        for (Counted* c = list.First(); c; c = list.Next()) order.push_back(c->value);
        EXPECT_EQ(order, (std::vector<int>{1, 2, 3, 4}));

        list.First();
        list.Next();
        list.RemoveCurrent();  // removes 2, cursor moves to 3
        EXPECT_EQ(Counted::destroyed, 1);
        EXPECT_EQ(list.Current()->value, 3);
        EXPECT_EQ(list.Count(), 3);
        list.First();
        list.RemoveCurrent();  // head
        EXPECT_EQ(list.head->item->value, 3);
        EXPECT_EQ(list.tail->item->value, 4);
    }
    EXPECT_EQ(Counted::destroyed, 4);

    PtrList<CVmValue> values;
    CVmValue* v = new CVmValue();
    v->SetString("owned by the list");
    values.Append(v);
    values.Clear();
    EXPECT_EQ(values.First(), nullptr);
}
