#include "serial/private_profile.h"

#include "serial/leading_int.h"

namespace sphyra {

ProfileText PrivateProfile::Load() const {
    profile_file::ReadResult read = profile_file::Read(m_path);
    m_problem = read.problem;
    return ProfileText(std::move(read.text));
}

std::string PrivateProfile::GetProfileString(std::string_view section, std::string_view key,
                                             std::string_view defaultValue) const {
    return Load().Get(section, key).value_or(std::string(defaultValue));
}

int PrivateProfile::GetProfileInt(std::string_view section, std::string_view key,
                                  int defaultValue) const {
    // A key that is present but empty reads as 0, as with the Windows function; only a missing
    // key gives the default.
    const auto value = Load().Get(section, key);
    return value ? ParseLeadingInt(*value) : defaultValue;
}

bool PrivateProfile::WriteProfileString(std::string_view section, std::string_view key,
                                        std::string_view value) {
    return WriteProfileStrings(section, {{std::string(key), std::string(value)}});
}

bool PrivateProfile::WriteProfileStrings(std::string_view section, const Entries& entries) {
    m_problem = {};
    ProfileText probe;
    for (const auto& [key, value] : entries) {
        if (!probe.Set(section, key, value)) return false;
    }
    const std::filesystem::path target = profile_file::ResolveLinks(m_path);
    if (target.empty()) {
        m_problem = profile_file::Problem(m_path, "链接循环", "的符号链接构成循环，端口设置未保存",
                                          "is a loop of symbolic links; the port settings were "
                                          "not saved");
        return false;
    }
    profile_file::ReadResult read = profile_file::Read(target);
    if (read.status == profile_file::ReadResult::Status::Refused) {
        m_problem = read.problem;  // never overwrite what we could not read
        return false;
    }
    ProfileText text(read.text);
    for (const auto& [key, value] : entries) text.Set(section, key, value);
    if (read.status == profile_file::ReadResult::Status::Read && text.Text() == read.text)
        return true;
    m_problem = profile_file::Replace(target, text.Text());
    return !m_problem.Any();
}

}  // namespace sphyra
