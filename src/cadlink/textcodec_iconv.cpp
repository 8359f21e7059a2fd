// UTF-8 <-> CP932 through iconv (POSIX).
#include <iconv.h>

#include <cerrno>

#include "cadlink/textcodec.h"
#include "cadlink/textcodec_convert.h"

namespace pimu::cadlink {
namespace {

class Iconv {
public:
    Iconv(const char *to, const char *from) : cd_(iconv_open(to, from)) {
        if (cd_ == reinterpret_cast<iconv_t>(-1))
            throw TextCodecError(std::string("no converter from ") + from + " to " + to);
    }
    ~Iconv() { iconv_close(cd_); }
    Iconv(const Iconv &) = delete;
    Iconv &operator=(const Iconv &) = delete;

    bool Convert(std::string_view in, std::string &out, size_t &badOffset) {
        out.clear();
        char *src = const_cast<char *>(in.data());
        size_t srcLeft = in.size();
        char buf[4096];
        while (srcLeft > 0) {
            char *dst = buf;
            size_t dstLeft = sizeof buf;
            const size_t r = iconv(cd_, &src, &srcLeft, &dst, &dstLeft);
            out.append(buf, static_cast<size_t>(dst - buf));
            if (r == static_cast<size_t>(-1) && errno != E2BIG) {
                badOffset = static_cast<size_t>(src - in.data());
                return false;
            }
        }
        return true;
    }

private:
    iconv_t cd_;
};

}  // namespace

bool ConvertText(TextDirection direction, std::string_view in, std::string &out,
                 std::size_t &badOffset) {
    Iconv cv(direction == TextDirection::Utf8ToCp932 ? "CP932" : "UTF-8",
             direction == TextDirection::Utf8ToCp932 ? "UTF-8" : "CP932");
    return cv.Convert(in, out, badOffset);
}

}  // namespace pimu::cadlink
