// The stand-in host's own behaviour that the plug-in tests rely on: matrix
// layouts and their data, the lock answer, symbols.
#include <gtest/gtest.h>

#include <cstdint>

#include "platform/loader.h"

namespace quarn {

namespace {

TEST(Platform, SymbolsAreInterned) {
  EXPECT_EQ(gensym("char"), _jit_sym_char);
  EXPECT_EQ(gensym("jit_quarnpack"), gensym("jit_quarnpack"));
  EXPECT_NE(gensym("bitrate"), gensym("bitrat"));
}

TEST(Platform, MatrixReallocatesOnlyWhenItsLayoutChanges) {
  void* m = platform::new_matrix(_jit_sym_char, 4, 10, 3, 6);
  t_jit_matrix_info info = platform::matrix_info(m);
  EXPECT_EQ(info.dimstride[0], 4);
  EXPECT_EQ(info.dimstride[1], 46);
  ASSERT_EQ(platform::matrix_bytes(m), 138u);
  platform::matrix_data(m)[0] = 7;

  jit_object_method(m, _jit_sym_setinfo, &info);  // same layout: data kept
  EXPECT_EQ(platform::matrix_data(m)[0], 7);

  info.dim[0] = 20;
  info.planecount = 1;
  jit_object_method(m, _jit_sym_setinfo, &info);
  info = platform::matrix_info(m);
  EXPECT_EQ(info.dimstride[1], 26);
  ASSERT_EQ(platform::matrix_bytes(m), 78u);
  EXPECT_EQ(platform::matrix_data(m)[0], 0);

  void* data = &info;
  info.dim[1] = 0;  // no rows: no data
  jit_object_method(m, _jit_sym_setinfo, &info);
  jit_object_method(m, _jit_sym_getdata, &data);
  EXPECT_EQ(data, nullptr);
  platform::free_matrix(m);
}

TEST(Platform, LockAnswersThePreviousState) {
  void* m = platform::new_matrix(_jit_sym_char, 1, 8, 1);
  EXPECT_EQ(reinterpret_cast<intptr_t>(jit_object_method(m, _jit_sym_lock, 1L)), 0);
  EXPECT_EQ(reinterpret_cast<intptr_t>(jit_object_method(m, _jit_sym_lock, 1L)), 1);
  EXPECT_EQ(reinterpret_cast<intptr_t>(jit_object_method(m, _jit_sym_lock, 0L)), 1);
  EXPECT_EQ(platform::lock_state(m), 0);
  EXPECT_EQ(platform::lock_calls(m), 3);
  platform::free_matrix(m);
}

}  // namespace

}  // namespace quarn
