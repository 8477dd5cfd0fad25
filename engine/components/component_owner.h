// The owner of database components: what a form or data module is to them. Sessions, connections
// and datasets made with an owner enter its lists and leave them when destroyed; automatic session
// names and the search for a connection of an owner use the lists. The owner owns nothing.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

namespace viz {

class TABSDataSet;
class TABSDatabase;
class TABSSession;

class TABSComponentOwner {
 public:
  explicit TABSComponentOwner(std::string name = {}) : name_(std::move(name)) {}
  TABSComponentOwner(const TABSComponentOwner&) = delete;
  TABSComponentOwner& operator=(const TABSComponentOwner&) = delete;

  const std::string& Name() const { return name_; }
  const std::vector<TABSSession*>& Sessions() const { return sessions_; }
  const std::vector<TABSDatabase*>& Databases() const { return databases_; }
  const std::vector<TABSDataSet*>& DataSets() const { return dataSets_; }

 private:
  friend class TABSSession;
  friend class TABSDatabase;
  friend class TABSDataSet;

  template <class T>
  static void Remove(std::vector<T*>& list, T* item) {
    list.erase(std::remove(list.begin(), list.end(), item), list.end());
  }

  std::string name_;
  std::vector<TABSSession*> sessions_;
  std::vector<TABSDatabase*> databases_;
  std::vector<TABSDataSet*> dataSets_;
};

}  // namespace viz
