// The parts of kestrava-publish under its packages: the workers and the zip records.
#include <zip.h>

#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <thread>

#include "publisher.h"
#include "temp_dir.h"
#include "work_pool.h"
#include "zip_archive_writer.h"

namespace {

// The first failure stops the jobs queued behind it, and every wait reports it.
TEST(WorkPoolTest, FirstFailureStopsTheRestAndReachesEveryWait) {
    for (unsigned threads : {1u, 4u}) {
        WorkPool pool(threads);
        std::atomic<int> ran{0};
        pool.Submit([] { throw PublishError("cannot read bad.bin"); });
        WorkPool::Ticket last;
        for (int i = 0; i < 1000; ++i) {
            last = pool.Submit([&] {
                ++ran;
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            });
        }
        EXPECT_THROW(pool.Wait(last), PublishError);
        try {
            pool.WaitAll();
            ADD_FAILURE() << "no failure reported";
        } catch (const PublishError& error) {
            EXPECT_STREQ(error.what(), "cannot read bad.bin");
        }
        EXPECT_LT(ran, 500) << threads << " workers";
    }
}

// Past 65,534 entries a zip needs the zip64 end records; libzip must read them back.
TEST(ZipArchiveWriterTest, ManyEntriesTakeTheZip64EndRecords) {
    TempDir temp;
    const std::string path = temp.File("many.zip");
    {
        ZipArchiveWriter zip(path);
        for (int i = 0; i < 70000; ++i) {
            // Half of them go back for their local record, as entries of many chunks do.
            const std::string name = "f" + std::to_string(i);
            const auto* data = reinterpret_cast<const unsigned char*>("x");
            const std::uint32_t crc = 0x8CDC1683;  // of "x"
            if (i % 2 == 0) {
                zip.AddEntry(name, 1, ZipMethod::kStore, crc, data, 1);
                continue;
            }
            zip.BeginEntry(name, 1);
            zip.Write(data, 1);
            zip.EndEntry(ZipMethod::kStore, crc);
        }
        zip.Finish();
    }
    int error = 0;
    std::unique_ptr<zip_t, void (*)(zip_t*)> archive(
        zip_open(path.c_str(), ZIP_RDONLY | ZIP_CHECKCONS, &error), &zip_discard);
    ASSERT_TRUE(archive) << error;
    EXPECT_EQ(zip_get_num_entries(archive.get(), 0), 70000);
    std::unique_ptr<zip_file_t, int (*)(zip_file_t*)> entry(zip_fopen(archive.get(), "f69999", 0),
                                                            &zip_fclose);
    char data[2] = {};
    ASSERT_TRUE(entry);
    EXPECT_EQ(zip_fread(entry.get(), data, sizeof data), 1);  // and its CRC checks
    EXPECT_EQ(data[0], 'x');
}

}  // namespace
