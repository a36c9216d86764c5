#include "support/cat_temp_dir.h"

#include <stdlib.h>

#include <fstream>
#include <iterator>
#include <stdexcept>

namespace qz::test {

CatTempDir::CatTempDir() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "qz_cat_XXXXXX").string();
    if (::mkdtemp(tmpl.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = tmpl;
}

CatTempDir::~CatTempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

std::string cat_read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void cat_write_file(const std::string& path, const std::string& text, bool executable) {
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << text;
    }
    if (executable) {
        std::filesystem::permissions(path, std::filesystem::perms::owner_all | std::filesystem::perms::group_read |
                                               std::filesystem::perms::others_read);
    }
}

}  // namespace qz::test
