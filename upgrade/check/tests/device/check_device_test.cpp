// The package check on the simulated device: refusal codes and their order,
// burn flags, hardware ids, OEM / protection / MID variables, ROM version.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <set>
#include <string>

#include "probe_report.h"

namespace {

using valid::Messages;
using valid::ProbeReport;
using valid::StandardIni;
using valid::StandardPackage;

using Patch = std::function<void(std::vector<uint8_t>&, const RomLayout&)>;
using Edit = std::function<void(RomPackageSpec&)>;

void Xor32(std::vector<uint8_t>& pkg, uint32_t offset, uint32_t x) {
    for (int i = 0; i < 4; ++i) pkg[offset + i] ^= static_cast<uint8_t>(x >> (8 * i));
}
std::string Replace(std::string s, const std::string& from, const std::string& to) {
    size_t p = s.find(from);
    if (p != std::string::npos) s.replace(p, from.size(), to);
    return s;
}

struct CheckCase {
    const char* what;
    int result;
    Edit edit = nullptr;
    Patch patch = nullptr;
    std::function<std::string(std::string)> ini = nullptr;  // edits the standard ini
    std::map<std::string, std::string> files = {};
    std::vector<std::string> log = {};  // messages expected in this order
};

ProbeReport RunCase(devsim::Device& d, const CheckCase& c) {
    RomPackageSpec desc = StandardPackage();
    if (c.edit) c.edit(desc);
    RomLayout layout;
    std::vector<uint8_t> pkg = rombuild_package(desc, &layout);
    EXPECT_FALSE(pkg.empty());
    if (c.patch) c.patch(pkg, layout);
    std::string ini = StandardIni();
    d.Ini(c.ini ? c.ini(ini) : ini);
    for (const auto& [path, bytes] : c.files) d.File(path, bytes);
    return valid::RunCheck(d, pkg);
}

// Each expected message must follow the previous one.
void ExpectLogInOrder(const devsim::Device& d, const std::vector<std::string>& expected) {
    auto msgs = Messages(d);
    int at = 0;
    for (const std::string& line : expected) {
        int found = valid::FindMessage(msgs, line, at);
        EXPECT_GE(found, 0) << "missing or out of order: " << line;
        at = found + 1;
    }
}

void PrintTo(const CheckCase& c, std::ostream* os) { *os << c.what; }

class CheckResult : public ::testing::TestWithParam<CheckCase> {};

TEST_P(CheckResult, RefusesWithTheFirstFaultsCode) {
    const CheckCase& c = GetParam();
    devsim::Device d("check");
    ProbeReport r = RunCase(d, c);
    ASSERT_TRUE(r.ok) << d.Stderr();
    EXPECT_EQ(r.result, c.result) << r.text;
    ExpectLogInOrder(d, c.log);
    // Side effects stop where the check stopped: the environment copy, the
    // hardware copy and the OEM rules' variable write (SW_OEM 0 -> 7).
    const std::set<int> header = {-100, -99, -98, -97, -79},
                        partition = {-93, -92, -91, -90, -89, -85, -84, -83};
    bool before_env = header.count(c.result) > 0;
    bool before_hw =
        before_env || c.result == -88 || c.result == -1 || partition.count(c.result) > 0;
    bool before_oem = before_hw || c.result == -87 || c.result == -95;
    EXPECT_EQ(d.DeviceFileExists("/tmp/avalanche_env_file"), !before_env);
    EXPECT_EQ(d.DeviceFileExists("/tmp/ver_hardware"), !before_hw);
    EXPECT_EQ(d.EnvValue("SW_OEM"), before_oem || (c.result >= -78 && c.result <= -75) ? "0" : "7");
    if (c.result >= -100 && c.result <= -79) {  // the refusal's message names its code
        const char* name = upd_msg_name(c.result == -83 ? -84 : c.result);
        ASSERT_NE(name, nullptr);
        EXPECT_GE(valid::FindMessage(Messages(d), name), 0) << name;
    }
}

// Range and size refusals of the ROM format are decided in upgrade/rom (its
// tests); the hardware version's parsing and the id pairs on the host
// (check_rules_test). Here one row per refusal path of the check itself, the
// rows that need the device's variables and files, and the order of the stages.
using IniEdit = std::function<std::string(std::string)>;
IniEdit Swap(const std::string& from, const std::string& to) {
    return [from, to](std::string i) { return Replace(i, from, to); };
}
const IniEdit kNoComma = Swap("1.2.3.4,20261206", "1.2.3.4");
const std::map<std::string, std::string> kSameRom = {
    {"/app/version.conf", "[Version]\nRomVersion=2.0.0.1\n"}};
Edit Part0(std::function<void(RomPartitionSpec&)> f) {
    return [f](RomPackageSpec& s) { f(s.partitions[0]); };
}
Edit PartHeader(std::function<void(Partition_Header&)> f) {
    return [f](RomPackageSpec& s) { s.tweak = [f](Rom_Header&, auto& parts) { f(parts[0]); }; };
}
// A partition for mtd3 (0x10000 bytes) of `size` bytes.
Edit Mtd3Of(size_t size) {
    return Part0([size](RomPartitionSpec& p) { p.partition_id = 3, p.data.assign(size, 1); });
}
IniEdit Fault(const std::string& missing) {
    return [missing](std::string i) { return i + "[faults]\nmissing = " + missing + "\n"; };
}

INSTANTIATE_TEST_SUITE_P(
    Codes, CheckResult,
    ::testing::Values(
        CheckCase{"valid", 0, nullptr, nullptr, nullptr, {}, {"RomVersion env isnot exist!"}},
        CheckCase{"first_word", -100, nullptr, [](auto& p, auto&) { p[0] ^= 1; }},
        CheckCase{"ext_magic", -99,
                  [](auto& s) { s.tweak = [](Rom_Header& h, auto&) { h.ext_magic_num = 0; }; }},
        // Sixteen copies of the one partition pass; a seventeenth is refused.
        CheckCase{"sixteen_partitions", 0,
                  [](auto& s) { s.partitions.resize(16, s.partitions[0]); }},
        CheckCase{"seventeen_partitions", -79,
                  [](auto& s) { s.partitions.resize(17, s.partitions[0]); }},
        CheckCase{"data_byte", -97, nullptr,
                  [](auto& p, const RomLayout& l) { p[l.data_offset[0]] ^= 1; }},
        CheckCase{"env_listing_unreadable", -1, nullptr, nullptr, Fault("/proc/avalanche/env")},
        CheckCase{"env_software_unreadable", -1, nullptr, nullptr, Fault("/proc/ver/software")},
        CheckCase{"part_magic", -93, PartHeader([](Partition_Header& h) { h.magic_num = 0; })},
        CheckCase{"part_header_sum", -92, nullptr,
                  [](auto& p, const RomLayout& l) {
                      // Keeps the ROM sum: the same bits flip in the header and the data.
                      Xor32(p, l.part_header_offset[0] + 0x14, 0x100);
                      Xor32(p, l.data_offset[0], 0x100);
                  }},
        CheckCase{"part_sum", -91,
                  PartHeader([](Partition_Header& h) { h.partition_checksum ^= 1; }), nullptr,
                  nullptr, {}, {"partition_checksum_cal:*", "UPD_MSG_PART_CHECKSUM_ERR"}},
        CheckCase{"mtd_env_missing", -85, nullptr, nullptr,
                  Swap("mtd2 = 0x90100000,0x90300000\n", ""), {},
                  {"mtd2 isnot exist!", "UPD_MSG_MTD_ENV_LOSED"}},
        CheckCase{"mtd_env_unparsable", -84, nullptr, nullptr,
                  Swap("0x90100000,0x90300000", "0x90100000"), {},
                  {"mtd2 start_addr:0 end_addr:0"}},
        CheckCase{"partition_larger_than_range", -84, Mtd3Of(0x10004)},
        CheckCase{"partition_exactly_its_range", 0, Mtd3Of(0x10000)},
        CheckCase{"mtd_device_missing", -83, nullptr, nullptr, Fault("/dev/mtd2"), {},
                  {"/dev/mtd2 open failed!", "UPD_MSG_MTD_ADDR_ERR"}},
        CheckCase{"hwver_unreadable", -87, nullptr, nullptr, Fault("/proc/misc/hwver"), {},
                  {"shellcmd:/tmp/bin/cat /proc/misc/hwver > /tmp/ver_hardware",
                   "UPD_MSG_READ_HWVERSION_FAILED"}},
        CheckCase{"rom_version_same", -86, nullptr, nullptr, nullptr, kSameRom,
                  {"rom_version_cmp:2.0.0.1 rom_version:2.0.0.1", "UPD_MSG_ROM_VERSION_SAME"}},
        CheckCase{"rom_version_other", 0, nullptr, nullptr, nullptr,
                  {{"/app/version.conf", "[Version]\nRomVersion=2.0.0.2\n"}}},
        // A forced ROM writes every partition and is installed over its own version.
        CheckCase{"rom_version_forced", 0, [](RomPackageSpec& s) { s.process_type = 1; }, nullptr,
                  nullptr, kSameRom, {"rom force upgrade!", "rom force upgrader!"}},
        // Two faults: the earlier stage decides (also the one row of its code).
        CheckCase{"order_header_before_env", -98, nullptr,
                  [](auto& p, auto&) { p[0x78] ^= 0x10; }, kNoComma},
        CheckCase{"order_env_before_partition", -88,
                  Part0([](RomPartitionSpec& p) { p.partition_id = 7; }), nullptr, kNoComma},
        CheckCase{"order_partition_before_hardware", -90,
                  [](auto& s) { s.partitions[0].partition_id = 7, s.device_id = 54; }},
        CheckCase{"order_hardware_before_sub_id", -95,
                  [](auto& s) { s.device_id = 54, s.match_id[0] = 9; }},
        CheckCase{"order_oem_before_sub_id", -75,
                  [](auto& s) { s.sw_protect = 1, s.match_id[0] = 9; }},
        CheckCase{"order_sub_id_before_version", -94,
                  [](RomPackageSpec& s) { s.match_id[0] = 9; }, nullptr, nullptr, kSameRom}),
    [](const auto& tp) { return std::string(tp.param.what); });

// Burn flags: forced, equal, different and missing installed versions, and a
// special partition of an unknown type.
TEST(CheckDevice, BurnFlagsFollowForceAndVersions) {
    devsim::Device d("flags");
    RomPackageSpec desc = StandardPackage();
    desc.partitions.resize(5, desc.partitions[0]);
    const uint32_t ids[] = {0, 2, 5, 6, 255};
    for (int i = 0; i < 5; ++i) desc.partitions[i].partition_id = ids[i];
    for (int i = 2; i < 5; ++i) desc.partitions[i].partition_version = rombuild_version(5, 0, 0, 6);
    desc.partitions[0].process_type = 1, desc.partitions[4].partition_type = 7;
    desc.partitions[1].partition_version = rombuild_version(1, 0, 0, 3);
    d.Ini(StandardIni("Mtd2Version = 1.0.0.3\n"));
    d.File("/basic/version.conf", "[Version]\nMtd5Version=5.0.0.5\n");
    ProbeReport r = valid::RunCheck(d, rombuild_package(desc));
    ASSERT_TRUE(r.ok) << d.Stderr();
    EXPECT_EQ(r.result, 0) << r.text;
    EXPECT_EQ(r.flags, (std::vector<int>{1, 0, 1, 1, 0, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9}));
    ExpectLogInOrder(d, {"mtd0 force upgrade!", "mtdn_version:1.0.0.3 version:1.0.0.3",
                         "UPD_MSG_PART_VERSION_SAME", "mtdn_version:5.0.0.5 version:5.0.0.6",
                         "Mtd6Version env isnot exist!"});
}

// ---- OEM, protection and MID rules: the variables the device holds after ----
// The rules themselves are decided on the host (check_rules_test); here the
// header size and the device's variables reach them, each planned write lands
// and a refusal writes nothing.

// Refused at the sub-id after the rules wrote all three variables: each write
// lands (a refusal before the rules writing nothing is CheckResult's SW_OEM).
TEST(CheckOem, WritesLandBeforeALaterRefusal) {
    devsim::Device d("oem");
    RomPackageSpec desc = StandardPackage();
    desc.oem_id = 77, desc.mid_version = 1, desc.match_id[0] = 9;
    d.Ini(StandardIni());
    ProbeReport r = valid::RunCheck(d, rombuild_package(desc));
    ASSERT_TRUE(r.ok) << d.Stderr();
    EXPECT_EQ(r.result, -94) << r.text;
    EXPECT_EQ(d.EnvValue("MID_VERSION"), "1");
    EXPECT_EQ(d.EnvValue("SW_OEM"), "77");
    EXPECT_EQ(d.EnvValue("SW_protect"), "1");
}

}  // namespace
