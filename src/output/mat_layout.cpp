#include "output/mat_layout.h"

#include <utility>

int32_t MatLayout::setRoot(const std::string& name) {
  nodes_.clear();
  MatNode root;
  root.kind = MatNodeKind::kStruct;
  root.name = name;
  nodes_.push_back(std::move(root));
  return 0;
}

int32_t MatLayout::add(int32_t parent, MatNode node) {
  const auto index = static_cast<int32_t>(nodes_.size());
  nodes_.push_back(std::move(node));
  nodes_[static_cast<size_t>(parent)].fields.push_back(index);
  return index;
}

int32_t MatLayout::addStruct(int32_t parent, const std::string& name) {
  MatNode node;
  node.kind = MatNodeKind::kStruct;
  node.name = name;
  return add(parent, std::move(node));
}

int32_t MatLayout::addDoubles(int32_t parent, const std::string& name, int64_t rows,
                              int32_t columns, std::vector<double> values) {
  MatNode node;
  node.name = name;
  node.rows = rows;
  node.columns = columns;
  node.values = std::move(values);
  node.values.resize(static_cast<size_t>(rows * columns), 0.0);
  return add(parent, std::move(node));
}

int32_t MatLayout::addColumns(int32_t parent, const std::string& name, int64_t rows,
                              int32_t columns) {
  MatNode node;
  node.name = name;
  node.rows = rows;
  node.columns = columns;
  node.streamed = true;
  return add(parent, std::move(node));
}

int32_t MatLayout::addText(int32_t parent, const std::string& name, std::u16string units) {
  MatNode node;
  node.kind = MatNodeKind::kText;
  node.name = name;
  node.text = std::move(units);
  return add(parent, std::move(node));
}

int32_t MatLayout::addMask(int32_t parent, const std::string& name, int64_t rows,
                           int64_t entries) {
  MatNode node;
  node.kind = MatNodeKind::kMask;
  node.name = name;
  node.rows = rows;
  node.entries = entries;
  return add(parent, std::move(node));
}
