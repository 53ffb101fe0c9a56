// The floor a text search over archives is measured against: inflate each
// archive's documents through the archive readers and look for the query's
// byte forms with memmem, nothing more (no encoding detection, no character
// boundaries, no line numbers). Prints each archive with a match.
//
// text_floor THREADS FORM_HEX... < paths (one per line)
#include <atomic>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "archive_reader.h"

namespace {

bool IsDocument(const std::string& name) {
    const auto dot = name.rfind('.');
    if (dot == std::string::npos) {
        return false;
    }
    std::string ext = name.substr(dot + 1);
    for (char& c : ext) {
        c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    }
    return ext == "txt" || ext == "doc" || ext == "htm";
}

bool Says(const std::string& path, const std::vector<std::string>& forms, std::size_t keep) {
    const auto reader = mervok::plugin::OpenAnyArchiveReader(path.c_str());
    if (!reader) {
        return false;
    }
    std::vector<char> buffer(64 * 1024 + keep);
    for (auto* entry = reader->Next(); entry; entry = reader->Next()) {
        if (entry->isFolder || !IsDocument(entry->name)) {
            continue;
        }
        const auto data = reader->OpenData();
        if (!data) {
            continue;
        }
        std::size_t kept = 0;
        for (;;) {
            const auto count = data->Read(buffer.data() + kept, buffer.size() - kept);
            if (count <= 0) {
                break;
            }
            const std::size_t size = kept + static_cast<std::size_t>(count);
            for (const std::string& form : forms) {
                if (::memmem(buffer.data(), size, form.data(), form.size())) {
                    return true;
                }
            }
            kept = std::min(keep, size);
            std::memmove(buffer.data(), buffer.data() + size - kept, kept);
        }
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::cerr << "usage: text_floor THREADS FORM_HEX... < paths\n";
        return 2;
    }
    std::vector<std::string> forms;
    std::size_t keep = 0;
    for (int i = 2; i < argc; ++i) {
        std::string form;
        for (const char* hex = argv[i]; hex[0] && hex[1]; hex += 2) {
            form += static_cast<char>(std::stoi(std::string(hex, 2), nullptr, 16));
        }
        keep = std::max(keep, form.size() - 1);
        forms.push_back(form);
    }
    std::vector<std::string> paths;
    for (std::string line; std::getline(std::cin, line);) {
        paths.push_back(line);
    }
    std::atomic<std::size_t> next{0};
    std::mutex out;
    std::vector<std::thread> threads;
    for (int t = 0; t < std::max(1, std::atoi(argv[1])); ++t) {
        threads.emplace_back([&] {
            for (std::size_t i; (i = next++) < paths.size();) {
                if (Says(paths[i], forms, keep)) {
                    const std::lock_guard lock(out);
                    std::printf("%s\n", paths[i].c_str());
                }
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    return 0;
}
