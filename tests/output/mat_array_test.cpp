#include "output/mat_array.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "output/mat_file.h"
#include "support/test_support.h"
#include "output/mat_read_back.h"

namespace {

using readback::Shape;

// Writes value as the variable "v" of a fresh file and reads it back.
readback::Var roundTrip(const testsupport::TempDir& dir, MatArray value) {
  MatFile file;
  const std::string path = dir.file("v.mat");
  EXPECT_TRUE(file.open(path));
  file.putVariable("v", std::move(value));
  EXPECT_TRUE(file.close());
  EXPECT_TRUE(file.commit());
  return readback::load(path, "v");
}

TEST(MatArray, StructKeepsFieldsInTheOrderTheyWereAdded) {
  testsupport::TempDir dir;
  MatArray top = MatArray::structure();
  ASSERT_TRUE(top);
  EXPECT_EQ(top.addField("zeta"), 0);
  EXPECT_EQ(top.addField("alpha"), 1);
  EXPECT_EQ(top.addField("hux/audio"), 2);
  EXPECT_EQ(top.addField("empty"), 3);  // added, never set

  MatArray number = MatArray::doubleMatrix(1, 1);
  number.elements()[0] = 2.5;
  EXPECT_TRUE(top.setField("alpha", std::move(number)));
  EXPECT_TRUE(top.setField("zeta", MatArray::string("two\nlines\n")));
  MatArray inner = MatArray::structure();
  inner.addField("x");
  inner.setField("x", MatArray::doubleMatrix(0, 1));
  EXPECT_TRUE(top.setField("hux/audio", std::move(inner)));
  // A name that was never added takes nothing.
  EXPECT_FALSE(top.setField("missing", MatArray::doubleMatrix(1, 1)));

  readback::Var v = roundTrip(dir, std::move(top));
  EXPECT_EQ(readback::fieldNames(v.get()),
            (std::vector<std::string>{"zeta", "alpha", "hux/audio", "empty"}));
  EXPECT_EQ(readback::scalar(v.get(), "alpha"), 2.5);
  EXPECT_EQ(readback::text(readback::field(v.get(), "zeta")), "two\nlines\n");
  matvar_t* inner_ = readback::field(v.get(), "hux/audio");
  EXPECT_EQ(readback::fieldNames(inner_), std::vector<std::string>{"x"});
  EXPECT_EQ(readback::shape(readback::field(inner_, "x")), (Shape{0, 1}));
}

TEST(MatArray, DoubleMatrixIsZeroFilledColumnMajorAndShrinksItsRows) {
  testsupport::TempDir dir;
  MatArray matrix = MatArray::doubleMatrix(4, 3);
  ASSERT_NE(matrix.elements(), nullptr);
  EXPECT_EQ(matrix.rows(), 4);
  EXPECT_EQ(matrix.columns(), 3);
  matrix.elements()[5] = 7.0;  // row 1 of column 1
  EXPECT_FALSE(matrix.setRows(2));  // only one-column arrays shrink
  readback::Var v = roundTrip(dir, std::move(matrix));
  EXPECT_EQ(readback::shape(v.get()), (Shape{4, 3}));
  EXPECT_EQ(readback::doubles(v.get()),
            (std::vector<double>{0, 0, 0, 0, 0, 7, 0, 0, 0, 0, 0, 0}));

  MatArray column = MatArray::doubleMatrix(5, 1);
  for (int i = 0; i < 5; ++i) column.elements()[i] = i + 1;
  EXPECT_FALSE(column.setRows(6));
  EXPECT_TRUE(column.setRows(3));
  EXPECT_EQ(column.rows(), 3);
  v = roundTrip(dir, std::move(column));
  EXPECT_EQ(readback::doubles(v.get()), (std::vector<double>{1, 2, 3}));

  EXPECT_EQ(MatArray::doubleMatrix(0, 1).elements(), nullptr);
  EXPECT_FALSE(MatArray::doubleMatrix(-1, 1));
}

TEST(MatArray, SparseLogicalColumnGrowsAndKeepsItsEntries) {
  testsupport::TempDir dir;
  MatArray mask = MatArray::sparseLogicalColumn(5000, 1024);
  ASSERT_TRUE(mask);
  std::vector<uint32_t> expected;
  int32_t capacity = 1024;
  for (int32_t k = 0; k < 2100; ++k) {
    if (k >= capacity) {
      capacity += 500;
      ASSERT_EQ(mask.growSparse(capacity), SparseGrowth::kDone);
    }
    mask.sparseValues()[k] = 1;
    mask.sparseRowIndices()[k] = static_cast<uint32_t>(2 * k + 1);
    mask.setSparseEntries(k + 1);
    expected.push_back(static_cast<uint32_t>(2 * k + 1));
  }
  EXPECT_EQ(capacity, 2524);
  EXPECT_EQ(mask.sparseColumnStarts()[0], 0u);
  EXPECT_EQ(mask.sparseColumnStarts()[1], 2100u);
  mask.fitSparseCapacity();
  readback::Var v = roundTrip(dir, std::move(mask));
  EXPECT_EQ(readback::shape(v.get()), (Shape{5000, 1}));
  EXPECT_EQ(readback::trueRows(v.get()), expected);
  // Readers that take the capacity as the entry count find exactly the entries.
  EXPECT_EQ(static_cast<const mat_sparse_t*>(v->data)->nzmax, 2100u);
}

TEST(MatArray, EmptySparseColumnIsAllFalse) {
  testsupport::TempDir dir;
  MatArray mask = MatArray::sparseLogicalColumn(7, 1024);
  mask.fitSparseCapacity();
  readback::Var v = roundTrip(dir, std::move(mask));
  EXPECT_EQ(readback::shape(v.get()), (Shape{7, 1}));
  EXPECT_TRUE(readback::trueRows(v.get()).empty());
  // A capacity of 0 is not accepted by every reader: 1 is declared.
  EXPECT_EQ(static_cast<const mat_sparse_t*>(v->data)->nzmax, 1u);
}

TEST(MatFile, OpenFailsInAMissingDirectory) {
  testsupport::TempDir dir;
  MatFile file;
  EXPECT_FALSE(file.open(dir.file("no/such/dir/x.mat")));
  EXPECT_FALSE(file.isOpen());
  EXPECT_EQ(file.close(), 0);
}

}  // namespace
