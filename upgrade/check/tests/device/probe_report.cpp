#include "probe_report.h"

#include <sstream>

namespace valid {

ProbeReport ParseProbeReport(const std::string& text) {
    ProbeReport r;
    r.text = text;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream ls(line);
        std::string key, value;
        ls >> key;
        if (key == "result") r.ok = static_cast<bool>(ls >> r.result);
        if (key == "mtd_config") ls >> r.mtd_config;
        if (key == "tool_version") ls >> std::hex >> r.tool_version;
        for (int f; key == "flags" && ls >> f;) r.flags.push_back(f);
        if (key == "env" && ls >> value >> value) {  // index, then name
            std::string rest;
            std::getline(ls, rest);
            r.env.emplace_back(value, rest.empty() ? rest : rest.substr(1));
        }
    }
    return r;
}

std::string StandardIni(const std::string& extra) {
    return "[device]\nhwver = 53.2.0.0.5.0.0.0\nsoftware = 1.2.3.4,20261206\ntimeout = 60\n"
           "[bootloader]\nMID_VERSION = 0\nSW_OEM = 0\nSW_protect = 0\n"
           "mtd0 = 0x90000000,0x90020000\nmtd1 = 0x90020000,0x90100000\n"
           "mtd2 = 0x90100000,0x90300000\nmtd3 = 0x90300000,0x90310000\n"
           "mtd4 = 0x90310000,0x90320000\nmtd5 = 0x90320000,0x90600000\n"
           "mtd6 = 0x90600000,0x90800000\n" +
           extra;
}

RomPackageSpec StandardPackage() {
    RomPackageSpec desc;
    desc.device_id = 53;
    desc.match_id[0] = 5;
    desc.rom_version = rombuild_version(2, 0, 0, 1);
    desc.oem_id = 7;  // an open device takes it over: shows that the rules ran
    desc.scramble_key = 37;
    RomPartitionSpec part;
    part.partition_id = 2;
    part.partition_version = rombuild_version(1, 0, 0, 9);
    for (int i = 0; i < 64; ++i) part.data.push_back(static_cast<uint8_t>(i * 7));
    desc.partitions.push_back(part);
    return desc;
}

ProbeReport RunProbe(devsim::Device& d, const std::vector<std::string>& args) {
    if (d.Run({"--exec", devsim::BinDir() + "/valid_probe"}, args) != 0) return ProbeReport{};
    return ParseProbeReport(d.DeviceFile("/config/valid_probe.txt"));
}

ProbeReport RunCheck(devsim::Device& d, const std::vector<uint8_t>& pkg, int initial_flag) {
    d.File("/app/test.rom", std::string(pkg.begin(), pkg.end()));
    return RunProbe(d, {"check", "/app/test.rom", std::to_string(initial_flag)});
}

std::vector<std::string> Messages(const devsim::Device& d) {
    std::vector<std::string> out;
    for (const devsim::LogLine& l : d.Syslog()) {
        std::string m = l.message;
        size_t p = m.find(": ");
        if (m.rfind("upgrader pid", 0) == 0 && p != std::string::npos) m.erase(0, p + 2);
        if (!m.empty() && m.back() == '\n') m.pop_back();
        out.push_back(m);
    }
    return out;
}

int FindMessage(const std::vector<std::string>& msgs, const std::string& text, int from) {
    const bool prefix = !text.empty() && text.back() == '*';
    const std::string want = prefix ? text.substr(0, text.size() - 1) : text;
    for (size_t i = from < 0 ? 0 : static_cast<size_t>(from); i < msgs.size(); ++i)
        if (prefix ? msgs[i].rfind(want, 0) == 0 : msgs[i] == want) return static_cast<int>(i);
    return -1;
}

}  // namespace valid
