// Many random damages, one at a time, thrown at real tables and their index
// files: every read-only operation (the folder check, opening the table with
// its indexes, walking it, seeking, the index check) either works or gives a
// base::Error with a Portuguese message. Nothing crashes, hangs or lets
// another exception out, and the damaged files are left byte for byte as they
// were. Each case runs in a forked child so that a crash or a hang is one
// failed case with its description, not a dead test program.

#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <numeric>
#include <random>
#include <sstream>

#include "base/cp850.h"
#include "base/error.h"
#include "store/access.h"
#include "store/cdx.h"
#include "store/dbf.h"
#include "store/verify.h"
#include "store_fixture.h"

using namespace kdx2;
using namespace kdx2::base::literals;
using base::Value;
using store::CdxFile;
using store::OpenMode;
using store::Table;
using store::workAreas;
using namespace std::string_literals;

namespace {

namespace fs = std::filesystem;
using Bytes = std::string;

constexpr int kRecords = 400;
// Enough damages to reach every kind many times over; KDX2_CORRUPTION_CASES
// runs more when hunting.
constexpr int kDefaultCases = 500;
constexpr int kCaseTimeoutMs = 10000;

struct SoundFile {
    std::string name;
    Bytes bytes;
    bool operator==(const SoundFile&) const = default;
};

uint32_t le16(const Bytes& b, size_t at) {
    return static_cast<uint8_t>(b[at]) | static_cast<uint8_t>(b[at + 1]) << 8;
}
uint32_t le32(const Bytes& b, size_t at) {
    return le16(b, at) | le16(b, at + 2) << 16;
}
void putLe16(Bytes& b, size_t at, uint32_t v) {
    if (at + 2 > b.size()) return;
    b[at] = static_cast<char>(v);
    b[at + 1] = static_cast<char>(v >> 8);
}
void putLe32(Bytes& b, size_t at, uint32_t v) {
    putLe16(b, at, v);
    putLe16(b, at + 2, v >> 16);
}
void putBe32(Bytes& b, size_t at, uint32_t v) {
    if (at + 4 > b.size()) return;
    for (int i = 0; i < 4; ++i)
        b[at + i] = static_cast<char>(v >> (24 - 8 * i));
}

std::string hex(uint64_t v) {
    std::ostringstream out;
    out << "0x" << std::hex << v;
    return out.str();
}

// One damage to one file, described so that a failing case can be read (and
// replayed: case numbers are seeds).
class Damager {
  public:
    explicit Damager(uint32_t seed) : rng_(seed) {}

    std::string damage(const std::string& name, Bytes& b) {
        const bool index = name.ends_with(".cdx");
        return index ? damageIndex(b) : damageTable(b);
    }

  private:
    std::mt19937 rng_;

    uint32_t below(uint64_t n) { return n == 0 ? 0 : static_cast<uint32_t>(rng_() % n); }
    uint32_t pick(std::initializer_list<uint32_t> values) {
        return values.begin()[below(values.size())];
    }

    std::string flip(Bytes& b, size_t from, size_t to, int most) {
        to = std::min(to, b.size());
        if (from >= to) return "nada a trocar";
        std::string what;
        const int count = 1 + static_cast<int>(below(most));
        for (int i = 0; i < count; ++i) {
            const size_t at = from + below(to - from);
            b[at] = static_cast<char>(rng_());
            what += " " + hex(at);
        }
        return "bytes trocados em" + what;
    }
    std::string truncateAt(Bytes& b, size_t at) {
        b.resize(std::min(at, b.size()));
        return "cortado em " + std::to_string(b.size());
    }
    std::string extend(Bytes& b, size_t count) {
        for (size_t i = 0; i < count; ++i)
            b.push_back(static_cast<char>(rng_()));
        return "estendido com " + std::to_string(count) + " bytes de lixo";
    }

    std::string damageTable(Bytes& b) {
        const uint32_t headerLength = le16(b, 8);
        const uint32_t recordLength = le16(b, 10);
        const uint32_t count = le32(b, 4);
        switch (below(11)) {
            case 0:
                return "cabeçalho: " + flip(b, 0, 32, 3);
            case 1:
                return "descritores: " + flip(b, 32, headerLength, 3);
            case 2:
                return "registros: " + flip(b, headerLength, b.size(), 8);
            case 3:
                return truncateAt(b, below(b.size()));
            case 4:
                return extend(b, 1 + below(2000));
            case 5: {
                const uint32_t v =
                    pick({0, 1, count - 1, count + 1, 0x7FFFFFFF, 0xFFFFFFFF, uint32_t(rng_())});
                putLe32(b, 4, v);
                return "número de registros = " + std::to_string(v);
            }
            case 6: {
                const uint32_t v = pick(
                    {0, 1, 31, 32, 33, headerLength - 1, headerLength + 1, 0xFFFF, below(65536)});
                putLe16(b, 8, v);
                return "tamanho do cabeçalho = " + std::to_string(v);
            }
            case 7: {
                const uint32_t v =
                    pick({0, 1, recordLength - 1, recordLength + 1, 0xFFFF, below(65536)});
                putLe16(b, 10, v);
                return "tamanho do registro = " + std::to_string(v);
            }
            case 8: {
                const uint32_t fields = headerLength > 33 ? (headerLength - 33) / 32 : 0;
                const size_t at = 32 + 32 * below(fields) + pick({11, 12, 13, 16, 17});
                if (at >= b.size()) return "nada a trocar";
                b[at] = static_cast<char>(pick({0, 1, 255, 127, below(256)}));
                return "descritor de campo, byte " + hex(at) + " = " +
                       std::to_string(static_cast<uint8_t>(b[at]));
            }
            case 9: {
                if (headerLength == 0 || headerLength > b.size()) return "nada a trocar";
                b[headerLength - 1] = static_cast<char>(rng_());
                return "fim dos descritores trocado";
            }
            default: {
                if (recordLength == 0) return "nada a trocar";
                const size_t at = headerLength + recordLength * below(count);
                if (at >= b.size()) return "nada a trocar";
                b[at] = static_cast<char>(pick({'*', ' ', 0, below(256)}));
                return "marca de apagado em " + hex(at);
            }
        }
    }

    std::string damageIndex(Bytes& b) {
        const size_t pages = b.size() / 512;
        const size_t tagHeader = 0x600;
        // A page of the tag's tree (they follow its 1024-byte header).
        auto treePage = [&]() -> size_t { return pages > 5 ? 512 * (5 + below(pages - 5)) : 0; };
        auto extremeOffset = [&](size_t page) -> uint32_t {
            return pick({0, 1, 511, 0xFFFFFFFF, 0x7FFFFFFF, uint32_t(page), uint32_t(b.size()),
                         uint32_t(b.size() + 512), uint32_t(treePage()), uint32_t(0x400),
                         uint32_t(tagHeader)});
        };
        switch (below(14)) {
            case 0:
                return "cabeçalho do arquivo: " + flip(b, 0, 512, 3);
            case 1:
                return "diretório de ordens: " + flip(b, 0x400, 0x600, 3);
            case 2:
                return "cabeçalho da ordem: " + flip(b, tagHeader, tagHeader + 1024, 3);
            case 3: {
                const size_t page = treePage();
                return "página " + hex(page) + ": " + flip(b, page, page + 512, 4);
            }
            case 4: {
                const size_t page = treePage();
                const size_t field = pick({0, 2, 4, 8});
                if (field < 4) {
                    const uint32_t v = pick({0, 1, 2, 3, 4, 7, 0xFFFF, 255, 500, below(65536)});
                    putLe16(b, page + field, v);
                    return "página " + hex(page) + " campo " + std::to_string(field) + " = " +
                           std::to_string(v);
                }
                const uint32_t v = extremeOffset(page);
                putLe32(b, page + field, v);
                return "página " + hex(page) +
                       (field == 4 ? " irmã esquerda = " : " irmã direita = ") + hex(v);
            }
            case 5: {
                const size_t page = treePage();
                return "máscaras da folha " + hex(page) + ": " + flip(b, page + 12, page + 24, 2);
            }
            case 6: {
                // A child pointer of an interior page (the first one found
                // from a random start), else of the root.
                const uint32_t keyLength = le16(b, tagHeader + 12);
                for (size_t tries = 0; tries < pages; ++tries) {
                    const size_t page = treePage();
                    if (page == 0 || (le16(b, page) & 2) != 0) continue;
                    const uint32_t keys = std::min<uint32_t>(le16(b, page + 2), 60);
                    const size_t entry = below(std::max<uint32_t>(keys, 1));
                    const uint32_t v = extremeOffset(page);
                    putBe32(b, page + 12 + entry * (keyLength + 8) + keyLength + 4, v);
                    return "página interna " + hex(page) + " filho " + std::to_string(entry) +
                           " = " + hex(v);
                }
                return "sem página interna";
            }
            case 7:
                return truncateAt(b, below(b.size()));
            case 8:
                return truncateAt(b, 512 * below(pages));
            case 9:
                return extend(b, pick({1, 100, 512, 1024, 4096}) + (below(2) ? below(512) : 0));
            case 10: {
                const uint32_t v = extremeOffset(tagHeader);
                putLe32(b, below(2) ? tagHeader : 0, v);
                return "raiz = " + hex(v);
            }
            case 11: {
                const uint32_t v = extremeOffset(0);
                putLe32(b, below(2) ? 4 : tagHeader + 4, v);
                return "lista livre = " + hex(v);
            }
            case 12: {
                const uint32_t v = pick({0, 1, 8, 10, 240, 241, 0xFFFF, below(65536)});
                putLe16(b, below(2) ? tagHeader + 12 : 12, v);
                return "tamanho da chave = " + std::to_string(v);
            }
            default: {
                const size_t p = treePage(), q = treePage();
                if (p == 0 || p == q) return "nada a trocar";
                for (size_t i = 0; i < 512; ++i)
                    std::swap(b[p + i], b[q + i]);
                return "páginas " + hex(p) + " e " + hex(q) + " trocadas";
            }
        }
    }
};

// The store's messages are CP850 Portuguese; a library's own text (English)
// or an empty one means an error escaped without being explained to the user.
bool looksPortuguese(const std::string& message) {
    static const std::vector<std::string> words = {
        "danificad", "arquivo", "Arquivo", "índice"_cp, "Índice"_cp,  "não"_cp,
        "registro",  "tabela",  "chave",   "ordem",     "inválid"_cp, "erro",
        "Erro",      "campo",   "Ordem",   "página"_cp, "posição"_cp};
    for (const auto& word : words)
        if (message.find(word) != std::string::npos) return true;
    return false;
}

class Corruption : public testing_store::StoreTest {
  protected:
    std::vector<SoundFile> sound;
    std::vector<std::string> cpfs;  // keys present in the tables

    // IRM2 (index on CPF) and IRM9 (on CPF and on upper(NOMECONTR), long keys
    // and so a deep tree) with kRecords records each, some deleted.
    void buildSoundTables() {
        for (int n : {2, 9}) {
            ASSERT_TRUE(store::ABERTURA(n, true));
            Table& t = workAreas().area(n);
            for (int i = 0; i < kRecords; ++i) {
                ASSERT_TRUE(t.append());
                const std::string cpf = std::to_string(10000000000LL + (i * 7919LL) % 997 * 31);
                if (n == 2) cpfs.push_back(cpf);
                t.put("CPF", Value(cpf));
                if (n == 9)
                    t.put("NOMECONTR",
                          Value("contribuinte "_cp + std::to_string(i * 37 % 101) + " são"_cp));
                if (i % 23 == 0) t.deleteRecord();
            }
            workAreas().close(n);
        }
        for (const char* name : {"IRM2.DBF", "IRM2.cdx", "IRM9.DBF", "IRM9.cdx", "IRM9B.cdx"}) {
            std::ifstream in(host("DADOS/"s + name), std::ios::binary);
            ASSERT_TRUE(in) << name;
            sound.push_back({name, Bytes(std::istreambuf_iterator<char>(in),
                                         std::istreambuf_iterator<char>())});
        }
    }

    void writeCase(const std::vector<SoundFile>& files) {
        std::error_code ignored;
        fs::remove_all(host("CASO"), ignored);
        fs::create_directories(host("CASO"));
        for (const auto& f : files)
            std::ofstream(host("CASO/" + f.name), std::ios::binary | std::ios::trunc) << f.bytes;
    }
    std::vector<SoundFile> readCase(const std::vector<SoundFile>& like) {
        std::vector<SoundFile> now;
        for (const auto& f : like) {
            std::ifstream in(host("CASO/" + f.name), std::ios::binary);
            now.push_back({f.name, Bytes(std::istreambuf_iterator<char>(in),
                                         std::istreambuf_iterator<char>())});
        }
        return now;
    }
};

// What the child does on the damaged folder; every violation is one line of
// `out`. Read-only operations only: the files must not change.
void readOnlyOperations(const std::vector<std::string>& cpfs, std::ostream& out) {
    auto guarded = [&](const std::string& step, const std::function<void()>& run) -> bool {
        try {
            run();
            return true;
        } catch (const base::Error& e) {
            if (!looksPortuguese(e.what()))
                out << step << ": mensagem que não é do sistema: " << e.what() << "\n";
            return false;
        } catch (const std::exception& e) {
            out << step << ": exceção " << typeid(e).name() << ": " << e.what() << "\n";
            return false;
        } catch (...) {
            out << step << ": exceção desconhecida\n";
            return false;
        }
    };

    // The folder check reports; it never throws.
    guarded("verifyFolder", [&] {
        std::ostringstream report;
        const int result = store::verifyFolder("C:\\CASO", report);
        if (result != 0 && result != 1) out << "verifyFolder devolveu " << result << "\n";
    });

    auto walk = [&](const std::string& table, const std::vector<std::string>& indexes,
                    const std::string& secondTag) {
        std::unique_ptr<Table> t;
        if (!guarded("abrir " + table, [&] {
                t = Table::open("C:\\CASO\\" + table + ".DBF", OpenMode::Shared);
                for (const auto& index : indexes)
                    t->openIndex("C:\\CASO\\" + index);
            }))
            return;
        auto walkOrder = [&](const std::string& what) {
            guarded(table + " " + what, [&] {
                const uint64_t limit = 4ull * kRecords + 100;
                uint64_t steps = 0;
                for (t->goTop(); !t->eof(); t->skip()) {
                    (void)t->toValues();
                    if (++steps > limit) {
                        out << table << " " << what << ": o percurso não termina\n";
                        return;
                    }
                }
                steps = 0;
                for (t->goBottom(); !t->bof() && !t->eof(); t->skip(-1))
                    if (++steps > limit) {
                        out << table << " " << what << ": o percurso para trás não termina\n";
                        return;
                    }
            });
        };
        walkOrder("ordem do índice");
        guarded(table + " seek", [&] {
            for (size_t i = 0; i < cpfs.size(); i += 37)
                t->seek(Value(cpfs[i]));
            t->seek(Value("00000000000"));
            t->seek(Value("99999999999"), true);
            t->seek(Value("1"));
        });
        if (!secondTag.empty())
            guarded(table + " " + secondTag, [&] {
                if (t->setOrder(secondTag)) {
                    t->seek(Value("CONTRIBUINTE 5"), true);
                    t->seek(Value("CONTRIBUINTE 50 S"_cp));
                }
            });
        guarded(table + " ordem natural", [&] { t->setOrder(0); });
        walkOrder("ordem natural");
        guarded("fechar " + table, [&] { t->close(); });
    };
    walk("IRM2", {"IRM2.cdx"}, "");
    walk("IRM9", {"IRM9.cdx", "IRM9B.cdx"}, "IRM9B");

    for (const char* name : {"IRM2.cdx", "IRM9.cdx", "IRM9B.cdx"})
        guarded("check "s + name, [&] {
            CdxFile cdx = CdxFile::open(platform::hostPath("C:\\CASO\\"s + name),
                                        CdxFile::Access::ReadOnly, CdxFile::Sharing::Shared);
            const auto result = cdx.check();
            for (const auto& problem : result.problems)
                if (!looksPortuguese(problem))
                    out << "check " << name << ": problema sem texto do sistema: " << problem
                        << "\n";
            for (const auto& info : cdx.tags())
                (void)cdx.tag(info.name, base::Type::Character).entries();
            cdx.close();
        });
}

struct CaseResult {
    std::string violations;  // empty: the case passed
};

// Runs `body` in a forked child with a deadline: what it wrote, or why it
// did not finish.
CaseResult runInChild(const std::function<void(std::ostream&)>& body) {
    int pipeFds[2];
    if (::pipe(pipeFds) != 0) return {"pipe falhou"};
    const pid_t pid = ::fork();
    if (pid < 0) return {"fork falhou"};
    if (pid == 0) {
        ::close(pipeFds[0]);
        std::ostringstream out;
        body(out);
        const std::string text = out.str();
        size_t done = 0;
        while (done < text.size()) {
            const ssize_t n = ::write(pipeFds[1], text.data() + done, text.size() - done);
            if (n <= 0) break;
            done += static_cast<size_t>(n);
        }
        ::_exit(0);
    }
    ::close(pipeFds[1]);
    std::string text;
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(kCaseTimeoutMs);
    bool timedOut = false;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        if (left <= 0) {
            timedOut = true;
            break;
        }
        pollfd p{pipeFds[0], POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left)) <= 0) continue;
        char buffer[4096];
        const ssize_t n = ::read(pipeFds[0], buffer, sizeof buffer);
        if (n <= 0) break;
        text.append(buffer, static_cast<size_t>(n));
    }
    ::close(pipeFds[0]);
    if (timedOut) ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (timedOut)
        return {text + "não terminou em " + std::to_string(kCaseTimeoutMs / 1000) + " s\n"};
    if (WIFSIGNALED(status))
        return {text + "terminou pelo sinal " + std::to_string(WTERMSIG(status)) + "\n"};
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return {text + "saída anormal\n"};
    return {text};
}

// A record whose key was changed behind the index (by another program or a
// damaged sector): walking the index visits every entry once and ends, each
// way, instead of going back to where the record's own key would sort.
TEST_F(Corruption, AKeyChangedBehindTheIndexDoesNotTrapAWalk) {
    ASSERT_TRUE(store::ABERTURA(2, true));
    Table& t = workAreas().area(2);
    for (int i = 0; i < 50; ++i) {
        ASSERT_TRUE(t.append());
        t.put("CPF", Value(std::to_string(20000000000LL + i)));
    }
    workAreas().close(2);
    uint64_t offset = 0;
    {
        platform::File f =
            platform::openFile("C:\\DADOS\\IRM2.DBF", platform::File::Mode::ReadWrite);
        offset = store::dbf::readLayout(f).recordOffset(40);
        const std::string lower = "10000000000";  // sorts before every key
        f.writeAt(offset + 1, lower.data(), lower.size());
    }
    const auto tableBefore = bytesOf("DADOS/IRM2.DBF");
    const auto indexBefore = bytesOf("DADOS/IRM2.cdx");
    auto table = Table::open("C:\\DADOS\\IRM2.DBF", OpenMode::Shared);
    table->openIndex("C:\\DADOS\\IRM2.cdx");
    std::vector<uint32_t> forward, backward;
    for (table->goTop(); !table->eof() && forward.size() < 200; table->skip())
        forward.push_back(table->recNo());
    for (table->goBottom(); !table->bof() && backward.size() < 200; table->skip(-1))
        backward.push_back(table->recNo());
    table->close();
    std::vector<uint32_t> all(50);
    std::iota(all.begin(), all.end(), 1u);
    EXPECT_EQ(forward, all);
    std::reverse(all.begin(), all.end());
    EXPECT_EQ(backward, all);
    EXPECT_EQ(bytesOf("DADOS/IRM2.DBF"), tableBefore);
    EXPECT_EQ(bytesOf("DADOS/IRM2.cdx"), indexBefore);
}

TEST_F(Corruption, RandomDamageNeverCrashesHangsOrChangesTheFiles) {
    buildSoundTables();
    ASSERT_EQ(sound.size(), 5u);
    int cases = kDefaultCases;
    if (const char* wanted = std::getenv("KDX2_CORRUPTION_CASES")) cases = std::atoi(wanted);
    int first = 0;
    if (const char* only = std::getenv("KDX2_CORRUPTION_FIRST")) first = std::atoi(only);

    base::session().set("LOCARQ", Value("C:\\CASO\\"));
    int failures = 0;
    for (int n = first; n < first + cases; ++n) {
        std::vector<SoundFile> files = sound;
        SoundFile& target = files[static_cast<size_t>(n) % files.size()];
        Damager damager(0x6b647832u + static_cast<uint32_t>(n));
        const std::string damage = damager.damage(target.name, target.bytes);
        const std::string title = "caso " + std::to_string(n) + ", " + target.name + ": " + damage;
        writeCase(files);

        CaseResult result = runInChild([&](std::ostream& out) { readOnlyOperations(cpfs, out); });
        if (readCase(files) != files) {
            std::string changed;
            const auto now = readCase(files);
            for (size_t i = 0; i < files.size(); ++i)
                if (now[i].bytes != files[i].bytes) changed += " " + files[i].name;
            result.violations += "arquivos alterados por operações de leitura:" + changed + "\n";
        }
        // The program's own open, which may rebuild or upgrade: only that it
        // ends without a crash, a hang or an escaped exception.
        CaseResult opening = runInChild([&](std::ostream& out) {
            try {
                for (int table : {2, 9})
                    store::ABERTURA(table);
                workAreas().closeAll();
            } catch (const base::Error&) {
            } catch (const std::exception& e) {
                out << "ABERTURA: exceção " << e.what() << "\n";
            }
        });
        result.violations += opening.violations;
        if (!result.violations.empty()) {
            ++failures;
            ADD_FAILURE() << title << "\n" << result.violations;
        }
    }
    EXPECT_EQ(failures, 0) << "de " << cases << " casos";
}

}  // namespace
