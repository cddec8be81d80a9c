// The real-HID backend over a scripted enumeration: the collections of a
// node numbered from its report descriptor (recorded descriptors under
// hid_descriptors/, read through a sysfs tree made for the test), the
// family's controllers reported as touch controllers, open by path, and the
// hot-plug events of the poll.
#include "vexlink/hid/hid_listing.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <thread>

#include "device/vexlink.h"
#include "vexlink/hid/report_descriptor.h"

namespace {

using vexlink::InterfaceInfo;
using vexlink::Transport;
using vexlink::hid::CollectionUsage;
using vexlink::hid::NativeInterface;
using vexlink::hid::topLevelCollections;
namespace fs = std::filesystem;

// A recorded descriptor: hex bytes, "#" to the end of a line is a comment.
std::vector<uint8_t> recordedDescriptor(const std::string& name) {
    std::ifstream file(std::string(VEXLINK_TEST_DESCRIPTORS) + "/" + name);
    EXPECT_TRUE(file.good()) << name;
    std::vector<uint8_t> bytes;
    std::string line;
    while (std::getline(file, line)) {
        std::istringstream words(line.substr(0, line.find('#')));
        std::string word;
        while (words >> word) bytes.push_back(uint8_t(std::stoul(word, nullptr, 16)));
    }
    return bytes;
}

const std::vector<CollectionUsage> kSixCollections = {
    {0x000D, 0x0004},  // touch screen
    {0x000D, 0x000E},  // device configuration
    {0x0001, 0x0002},  // mouse
    {0xFF00, 0x0004},  // vendor feature collection
    {0xFF00, 0x0001},  // vendor command collection
    {0x0001, 0x0001},  // pointer, named by an extended usage
};

TEST(ReportDescriptor, TopLevelCollectionsOfRecordedDescriptors) {
    const struct {
        const char* file;
        std::vector<CollectionUsage> collections;
    } cases[] = {
        {"touch_controller_six_collections.hex", kSixCollections},
        {"pen_nested_collections.hex", {{0x000D, 0x0002}, {0x000C, 0x0001}}},
        {"pwm_tester_single_collection.hex", {{0xFF00, 0x0001}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const std::vector<uint8_t> bytes = recordedDescriptor(c.file);
        ASSERT_FALSE(bytes.empty());
        const auto found = topLevelCollections(bytes.data(), bytes.size());
        ASSERT_TRUE(found.has_value());
        EXPECT_EQ(*found, c.collections);
    }
}

TEST(ReportDescriptor, UnsoundDescriptorsGiveNothingAndLongItemsAreSkipped) {
    const struct {
        const char* what;
        std::vector<uint8_t> bytes;
        std::optional<std::vector<CollectionUsage>> collections;
    } cases[] = {
        {"empty", {}, std::nullopt},
        {"no collection", {0x05, 0x01, 0x09, 0x02, 0x81, 0x02}, std::nullopt},
        {"item cut short", {0x06, 0x00}, std::nullopt},
        {"collection cut short", {0x05, 0x01, 0x09, 0x02, 0xA1}, std::nullopt},
        {"collection left open", {0x05, 0x01, 0x09, 0x02, 0xA1, 0x01}, std::nullopt},
        {"end without collection", {0x05, 0x01, 0x09, 0x02, 0xA1, 0x01, 0xC0, 0xC0}, std::nullopt},
        {"pop without push", {0x05, 0x01, 0x09, 0x02, 0xA1, 0x01, 0xB4, 0xC0}, std::nullopt},
        {"long item running past the end", {0xFE, 0x05, 0x10, 0x01}, std::nullopt},
        // A long item's data is skipped whole, even bytes that look like items.
        {"long item",
         {0xFE, 0x02, 0x10, 0xA1, 0x01, 0x05, 0x0D, 0x09, 0x04, 0xA1, 0x01, 0xC0},
         std::vector<CollectionUsage>{{0x000D, 0x0004}}},
        // The usage page is the one in force at the collection, and only the
        // first usage declared for it counts.
        {"page after usage, two usages",
         {0x09, 0x05, 0x09, 0x06, 0x05, 0x0D, 0xA1, 0x01, 0xC0},
         std::vector<CollectionUsage>{{0x000D, 0x0005}}},
        // Local items end with each main item: a collection without a usage
        // of its own has usage 0.
        {"usage used by an input item",
         {0x05, 0x01, 0x09, 0x30, 0x81, 0x02, 0xA1, 0x01, 0xC0},
         std::vector<CollectionUsage>{{0x0001, 0x0000}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(topLevelCollections(c.bytes.data(), c.bytes.size()), c.collections);
    }
    EXPECT_EQ(topLevelCollections(nullptr, 4), std::nullopt);
}

// A fake sysfs tree: <root>/class/hidraw/<node>/device/report_descriptor.
class SysfsTree {
public:
    SysfsTree() {
        char pattern[] = "/tmp/lumora-sysfs-XXXXXX";
        m_root = mkdtemp(pattern) ? pattern : "";
    }
    ~SysfsTree() {
        std::error_code ignored;
        if (!m_root.empty()) fs::remove_all(m_root, ignored);
    }
    const std::string& root() const { return m_root; }
    void put(const std::string& node, const std::vector<uint8_t>& bytes) {
        const fs::path dir = fs::path(m_root) / "class" / "hidraw" / node / "device";
        fs::create_directories(dir);
        std::ofstream(dir / "report_descriptor", std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    }

private:
    std::string m_root;
};

class NullTransport : public Transport {
public:
    bool writeReport(const uint8_t*) override { return true; }
    int readReport(uint8_t*, int) override { return 0; }
    int getFeature(uint8_t*, size_t) override { return -1; }
    int sendFeature(const uint8_t*, size_t) override { return -1; }
};

// The host's HID stack as a script: the entries hidapi lists, descriptors
// from the sysfs tree, and a record of the nodes opened.
struct Script {
    std::mutex mutex;
    std::vector<NativeInterface> entries;
    std::string sysfsRoot;
    std::vector<std::string> opened;
    int listings = 0;
};

class ScriptedHid : public vexlink::hid::NativeHid {
public:
    explicit ScriptedHid(Script& script) : m_script(script) {}
    std::vector<NativeInterface> list() override {
        std::lock_guard lock(m_script.mutex);
        ++m_script.listings;
        return m_script.entries;
    }
    std::optional<std::vector<uint8_t>> reportDescriptor(const std::string& nativePath) override {
        return vexlink::hid::readSysfsReportDescriptor(m_script.sysfsRoot, nativePath);
    }
    std::unique_ptr<Transport> open(const std::string& nativePath) override {
        std::lock_guard lock(m_script.mutex);
        m_script.opened.push_back(nativePath);
        return std::make_unique<NullTransport>();
    }

private:
    Script& m_script;
};

// hidraw3: a controller of the family with six top-level collections, listed
// as hidapi before 0.14 lists it on hidraw: the usages of its nested
// collections too, so that its fifth entry is not its fifth collection.
const std::vector<NativeInterface> kFamilyControllerEntries = {
    {"/dev/hidraw3", 0x2F1B, 0x7A04, 0x000D, 0x0004}, {"/dev/hidraw3", 0x2F1B, 0x7A04, 0x000D, 0x0022},
    {"/dev/hidraw3", 0x2F1B, 0x7A04, 0x000D, 0x0022}, {"/dev/hidraw3", 0x2F1B, 0x7A04, 0x000D, 0x000E},
    {"/dev/hidraw3", 0x2F1B, 0x7A04, 0x000D, 0x0023}, {"/dev/hidraw3", 0x2F1B, 0x7A04, 0x0001, 0x0002},
    {"/dev/hidraw3", 0x2F1B, 0x7A04, 0x0001, 0x0001}, {"/dev/hidraw3", 0x2F1B, 0x7A04, 0xFF00, 0x0004},
    {"/dev/hidraw3", 0x2F1B, 0x7A04, 0xFF00, 0x0001}, {"/dev/hidraw3", 0x2F1B, 0x7A04, 0x0001, 0x0001},
};

std::vector<InterfaceInfo> of(const std::vector<InterfaceInfo>& all, uint16_t vendor, uint16_t product) {
    std::vector<InterfaceInfo> out;
    for (const InterfaceInfo& i : all)
        if (i.vendorId == vendor && i.productId == product) out.push_back(i);
    return out;
}

TEST(HidBackend, ListsTheFamilysControllersWithCollectionsNumberedFromTheirDescriptors) {
    SysfsTree sysfs;
    ASSERT_FALSE(sysfs.root().empty());
    sysfs.put("hidraw3", recordedDescriptor("touch_controller_six_collections.hex"));
    sysfs.put("hidraw2", recordedDescriptor("pwm_tester_single_collection.hex"));
    sysfs.put("hidraw6", recordedDescriptor("pen_nested_collections.hex"));
    // hidraw1 (a controller under one of its other id pairs) has no readable
    // descriptor: hidapi's entries are kept as listed.

    Script script;
    script.sysfsRoot = sysfs.root();
    script.entries = kFamilyControllerEntries;
    script.entries.insert(script.entries.end(), {
        {"/dev/hidraw1", 0x20AC, 0x0E01, 0x000D, 0x0004},
        {"/dev/hidraw1", 0x20AC, 0x0E01, 0xFF00, 0x0001},
        {"/dev/hidraw2", 0x2F1B, 0x6BFE, 0xFF00, 0x0001},  // PWM tester
        {"/dev/hidraw6", 0x056A, 0x0301, 0x000D, 0x0002},  // a pen tablet
        {"/dev/hidraw6", 0x056A, 0x0301, 0x000D, 0x0020},
        {"/dev/hidraw6", 0x056A, 0x0301, 0x000D, 0x003D},
        {"/dev/hidraw6", 0x056A, 0x0301, 0x000C, 0x0001},
    });
    auto backend = vexlink::hid::makeHidBackend(std::make_unique<ScriptedHid>(script));
    const std::vector<InterfaceInfo> all = backend->enumerate();

    // The family's controller: six interfaces, numbered as a Windows host
    // numbers them, each with its collection's usage, all reported by
    // EnumerateHidDevices.
    const auto controller = of(all, 0x2F1B, 0x7A04);
    ASSERT_EQ(controller.size(), kSixCollections.size());
    for (size_t i = 0; i < controller.size(); ++i) {
        SCOPED_TRACE(controller[i].path);
        char col[8];
        std::snprintf(col, sizeof col, "col%02zu", i + 1);
        EXPECT_EQ(controller[i].path.substr(26, 5), col);
        EXPECT_EQ(controller[i].value1, kSixCollections[i].usagePage);
        EXPECT_EQ(controller[i].value2, kSixCollections[i].usage);
        EXPECT_TRUE(controller[i].touchController);
    }
    // Its command collection passes the tester's arrival check.
    EXPECT_EQ(controller[4].path.substr(0, 22), "\\\\?\\hid#vid_2f1b&pid_7");
    EXPECT_EQ(controller[4].value1, 0xFF00u);

    // The other id pair: entries as listed, found only by an id search.
    const auto idPair = of(all, 0x20AC, 0x0E01);
    ASSERT_EQ(idPair.size(), 2u);
    EXPECT_NE(idPair[1].path.find("&col02#"), std::string::npos);
    EXPECT_FALSE(idPair[0].touchController || idPair[1].touchController);

    // A single collection carries no collection number.
    const auto tester = of(all, 0x2F1B, 0x6BFE);
    ASSERT_EQ(tester.size(), 1u);
    EXPECT_EQ(tester[0].path.rfind("\\\\?\\hid#vid_2f1b&pid_6bfe#hidraw2#", 0), 0u) << tester[0].path;
    EXPECT_FALSE(tester[0].touchController);

    // Nested collections do not shift the numbers.
    const auto pen = of(all, 0x056A, 0x0301);
    ASSERT_EQ(pen.size(), 2u);
    EXPECT_NE(pen[1].path.find("&col02#"), std::string::npos);
    EXPECT_EQ(pen[1].value1, 0x000Cu);
    EXPECT_EQ(all.size(), 6u + 2u + 1u + 2u);

    // Open finds the node of a collection's path, and nothing for a path
    // that is not listed.
    EXPECT_NE(backend->open(controller[4].path), nullptr);
    EXPECT_EQ(backend->open(controller[4].path + "x"), nullptr);
    EXPECT_EQ(script.opened, std::vector<std::string>{"/dev/hidraw3"});
}

TEST(HidBackend, PollReportsUnitsPluggedAndUnpluggedWhileListening) {
    SysfsTree sysfs;
    sysfs.put("hidraw3", recordedDescriptor("touch_controller_six_collections.hex"));
    Script script;
    script.sysfsRoot = sysfs.root();
    auto backend = vexlink::hid::makeHidBackend(std::make_unique<ScriptedHid>(script));

    std::mutex mutex;
    std::vector<std::pair<int, std::string>> events;
    std::atomic<int> count{0};
    backend->setHotplugSink([&](int event, const std::string& path) {
        std::lock_guard lock(mutex);
        events.emplace_back(event, path);
        ++count;
    });
    auto waitFor = [&](int n) {
        for (int i = 0; i < 300 && count.load() < n; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        return count.load() >= n;
    };

    // The first poll takes the empty host as its starting point; the unit
    // is plugged after it.
    auto listed = [&] {
        std::lock_guard lock(script.mutex);
        return script.listings > 0;
    };
    for (int i = 0; i < 300 && !listed(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    {
        std::lock_guard lock(script.mutex);
        ASSERT_GT(script.listings, 0);
        script.entries = kFamilyControllerEntries;
    }
    ASSERT_TRUE(waitFor(6));
    {
        std::lock_guard lock(script.mutex);
        script.entries.clear();
    }
    ASSERT_TRUE(waitFor(12));
    backend->setHotplugSink(nullptr);

    std::lock_guard lock(mutex);
    ASSERT_EQ(events.size(), 12u);
    for (size_t i = 0; i < events.size(); ++i) {
        SCOPED_TRACE(events[i].second);
        EXPECT_EQ(events[i].first, i < 6 ? VEX_DEVICE_ARRIVED : VEX_DEVICE_REMOVED);
        EXPECT_EQ(events[i].second.substr(0, 22), "\\\\?\\hid#vid_2f1b&pid_7");
    }
}

}  // namespace
