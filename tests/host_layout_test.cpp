// The host's records at the real host's widths, order and packing on this
// target. The sizes and offsets are pinned at compile time, so that a build
// for a target the tests cannot run (32-bit Windows) checks them too; at run
// time the plug-ins, compiled apart from this program, must register the same
// sizes and offsets, and the stand-in must refuse records whose fields would
// lie inside the host's header.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>

#include "host/plugin_records.h"
#include "tests/plugin_harness.h"

namespace {

struct Layout {
  std::size_t object, symbol, atom, atom_value;
  std::size_t info, info_type, info_flags, info_dimcount, info_dim, info_dimstride,
      info_planecount;
  std::size_t jit_record, bitrate, max_record, obex;
};

#if !QUARN_HOST_64
// 32-bit Windows, packed to 2 bytes, `long` of 32 bits (the 32-bit x86 test
// build follows it).
constexpr Layout kHost{16, 8, 6, 2, 276, 4, 8, 12, 16, 144, 272, 24, 16, 20, 16};
static_assert(sizeof(t_atom_float) == 4 && sizeof(t_getbytes_size) == 2);
#elif defined(_WIN64)
// 64-bit Windows: default packing, `long` of 32 bits.
constexpr Layout kHost{32, 16, 16, 8, 288, 8, 16, 20, 24, 152, 280, 40, 32, 40, 32};
static_assert(sizeof(t_atom_float) == 8 && sizeof(t_getbytes_size) == 8);
#else
// The 64-bit macOS layout, which Linux x86-64 shares: `long` of 64 bits.
constexpr Layout kHost{32, 16, 16, 8, 552, 8, 16, 24, 32, 288, 544, 40, 32, 40, 32};
static_assert(sizeof(t_atom_float) == 8 && sizeof(t_getbytes_size) == 8);
#endif

static_assert(sizeof(t_atom_long) == sizeof(void*) && sizeof(t_jit_err) == sizeof(void*));
static_assert(sizeof(t_object) == kHost.object);
static_assert(offsetof(t_object, o_magic) == sizeof(void*));
static_assert(offsetof(t_object, o_outlet) == 3 * sizeof(void*));
static_assert(sizeof(t_symbol) == kHost.symbol);
static_assert(sizeof(t_atom) == kHost.atom && offsetof(t_atom, a_w) == kHost.atom_value);
static_assert(sizeof(t_jit_matrix_info) == kHost.info);
static_assert(offsetof(t_jit_matrix_info, type) == kHost.info_type);
static_assert(offsetof(t_jit_matrix_info, flags) == kHost.info_flags);
static_assert(offsetof(t_jit_matrix_info, dimcount) == kHost.info_dimcount);
static_assert(offsetof(t_jit_matrix_info, dim) == kHost.info_dim);
static_assert(offsetof(t_jit_matrix_info, dimstride) == kHost.info_dimstride);
static_assert(offsetof(t_jit_matrix_info, planecount) == kHost.info_planecount);
static_assert(sizeof(t_jit_quarn) == kHost.jit_record);
static_assert(offsetof(t_jit_quarn, bitrate) == kHost.bitrate);
static_assert(sizeof(t_max_jit_quarn) == kHost.max_record);
static_assert(offsetof(t_max_jit_quarn, obex) == kHost.obex);

using namespace plugin_test;

class HostLayout : public PluginTest {};

// What the plug-in modules registered, and the records the host made for
// them: its header at offset 0, the plug-in's fields behind it.
TEST_F(HostLayout, PluginsRegisterTheHostsSizesAndTheHostWritesItsHeaderFirst) {
  for (const auto& [jit_name, max_name] : {std::pair{"jit_quarnpack", kPack},
                                           std::pair{"jit_quarnopen", kOpen}}) {
    SCOPED_TRACE(max_name);
    const platform::ClassInfo jit = platform::jit_class_info(jit_name);
    EXPECT_EQ(jit.size, static_cast<long>(kHost.jit_record));
    ASSERT_EQ(jit.attributes.size(), 1u);
    EXPECT_EQ(jit.attributes[0].offset, static_cast<long>(kHost.bitrate));
    const platform::ClassInfo max = platform::max_class_info(max_name);
    EXPECT_EQ(max.size, static_cast<long>(kHost.max_record));
    EXPECT_EQ(max.obex_offset, static_cast<long>(kHost.obex));

    void* x = instance(max_name);
    ASSERT_NE(x, nullptr);
    const auto* bytes = static_cast<const unsigned char*>(platform::jit_object(x));
    t_ptr_int magic = 0;
    std::memcpy(&magic, bytes + sizeof(void*), sizeof magic);
    EXPECT_EQ(magic, OB_MAGIC);
    double bitrate = 0.0;
    std::memcpy(&bitrate, bytes + kHost.bitrate, sizeof bitrate);
    EXPECT_EQ(bitrate, 0.5);
    void* obex = nullptr;
    std::memcpy(&obex, static_cast<const unsigned char*>(x) + kHost.obex, sizeof obex);
    EXPECT_NE(obex, nullptr);
  }
}

void* no_function(void*) { return nullptr; }

// A plug-in built against declarations whose header has two fields, not the
// host's four, would register records in which the host's header covers the
// plug-in's own fields. The host refuses them.
TEST_F(HostLayout, RecordsWhoseFieldsLieInTheHeaderAreRefused) {
  struct TwoFieldHeader {
    void* messlist;
    t_ptr_int magic;
  };
  struct ShortMaxRecord {
    TwoFieldHeader ob;
    void* obex;
  };
  struct ShortJitRecord {
    TwoFieldHeader ob;
    double bitrate;
  };
  const long header = static_cast<long>(sizeof(t_object));

  t_messlist* max_class = nullptr;
  setup(&max_class, no_function, no_function, sizeof(ShortMaxRecord), nullptr, A_GIMME, 0);
  EXPECT_EQ(max_class, nullptr);
  EXPECT_EQ(max_jit_classex_setup(static_cast<long>(offsetof(ShortMaxRecord, obex))), nullptr);
  const std::vector<std::string> refused = platform::take_errors();
  ASSERT_EQ(refused.size(), 1u);
  EXPECT_EQ(refused[0], "unnamed: instance size " + std::to_string(sizeof(ShortMaxRecord)) +
                            " is smaller than the object header (" + std::to_string(header) +
                            " bytes)");

  // A record of the right size with the obex pointer inside the header.
  setup(&max_class, no_function, no_function, sizeof(t_max_jit_quarn), nullptr, A_GIMME, 0);
  EXPECT_NE(max_class, nullptr);
  EXPECT_EQ(max_jit_classex_setup(static_cast<long>(offsetof(ShortMaxRecord, obex))), nullptr);
  EXPECT_EQ(platform::take_errors(),
            std::vector<std::string>{"unnamed: obex offset " +
                                     std::to_string(offsetof(ShortMaxRecord, obex)) +
                                     " lies outside the instance's own fields (" +
                                     std::to_string(header) + " to " +
                                     std::to_string(sizeof(t_max_jit_quarn)) + ")"});

  // The jit record is smaller than the header on 64-bit targets; on 32-bit
  // ones it is exactly the header, and its field is caught when the
  // attribute is added.
  void* jit_class = jit_class_new("short_record", no_function, no_function,
                                  static_cast<long>(sizeof(ShortJitRecord)), 0);
  if (sizeof(ShortJitRecord) < sizeof(t_object)) {
    EXPECT_EQ(jit_class, nullptr);
  } else {
    ASSERT_NE(jit_class, nullptr);
    void* attr = jit_object_new(_jit_sym_jit_attr_offset, "bitrate", _jit_sym_float64, 0L,
                                static_cast<method>(nullptr), static_cast<method>(nullptr),
                                static_cast<long>(offsetof(ShortJitRecord, bitrate)));
    EXPECT_EQ(jit_class_addattr(jit_class, static_cast<t_jit_object*>(attr)), JIT_ERR_GENERIC);
  }
  EXPECT_EQ(platform::take_errors().size(), 1u);
}

}  // namespace
