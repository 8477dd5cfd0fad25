#include "engine/tables/search/table_search.h"

#include <cstring>

#include "engine/storage/VIZPage.h"
#include "engine/storage/memory_manager.h"
#include "engine/tables/VIZBaseEngine.h"
#include "engine/tables/btree/record_index.h"
#include "engine/tables/search/condition_normaliser.h"
#include "engine/types/errors.h"

namespace viz {

namespace {

int32_t ColumnsFor(TABSBTreeRecordIndex& index, int32_t keyFieldCount) {
  const int32_t columns = index.KeyRef().ColumnCount();
  return keyFieldCount <= 0 || keyFieldCount > columns ? columns : keyFieldCount;
}

bool OnRecord(const TABSCursor& cursor) {
  return !cursor.CurrentPosition().BeforeFirst && !cursor.CurrentPosition().AfterLast;
}

}  // namespace

TABSBTreeRecordIndex& BTreeIndexOf(TABSTableData& table, int32_t indexId) {
  TABSBaseIndexManager* indexes = table.IndexManager();
  if (!indexes) throw EABSException(msg::kNilPointer.At(10274));
  TABSBTreeRecordIndex* index = indexes->GetIndex(indexId).BTreeRecordIndex();
  if (!index) throw EABSException(msg::kNilPointer.At(10275));
  return *index;
}

TABSTableSearch::TABSTableSearch(TABSTableData& table, TABSCursor& cursor)
    : table_(table), cursor_(cursor), recordSize_(table.RecordBufferSize()), record_(recordSize_),
      best_(recordSize_) {}

TABSTableSearch::~TABSTableSearch() = default;

TABSBTreeRecordIndex& TABSTableSearch::IndexOf(int32_t indexId) {
  return BTreeIndexOf(table_, indexId);
}

int32_t TABSTableSearch::Session() const {
  return cursor_.Session() ? cursor_.Session()->SessionNumber() : kSystemSession;
}

int32_t TABSTableSearch::ColumnsOf(int32_t indexId, int32_t keyFieldCount) {
  return ColumnsFor(IndexOf(indexId), keyFieldCount);
}

void TABSTableSearch::AddIndexCondition(int32_t indexId, TABSScanOperator op, const uint8_t* key,
                                        int32_t keyFieldCount) {
  conditions_.Add(TABSScanSearchCondition::ForIndex(indexId, op, key, recordSize_,
                                                    ColumnsOf(indexId, keyFieldCount),
                                                    /*borrowed=*/true));
}

bool TABSTableSearch::Prepare(TABSSearchRequest& request) {
  conditions_.Clear();
  TABSCursorNavigation& navigation = cursor_.Navigation();
  if (request.Extra) {
    request.Extra->KeyFieldCount = ColumnsOf(request.Extra->IndexID, request.Extra->KeyFieldCount);
    conditions_.Add(std::move(request.Extra));
  }
  if (request.SearchBuffer) {
    if (!navigation.SearchExpression) throw EABSException(msg::kNilPointer.At(10273));
    conditions_.Add(
        TABSScanSearchCondition::ForExpression(navigation.SearchExpression, request.SearchBuffer));
  }
  if (navigation.FilterExpression)
    conditions_.Add(TABSScanSearchCondition::ForExpression(navigation.FilterExpression));
  if (navigation.SqlFilter) conditions_.Add(TABSScanSearchCondition::ForExpression(navigation.SqlFilter));
  const int32_t order = navigation.OrderIndexID;
  if (navigation.Range.Active() && order >= 0) {
    const TABSCursorRange& range = navigation.Range;
    if (range.Start)
      AddIndexCondition(order, range.StartExclusive ? soGreater : soGreaterOrEqual, range.Start,
                        range.StartFieldCount);
    if (range.End)
      AddIndexCondition(order, range.EndExclusive ? soLess : soLessOrEqual, range.End, range.EndFieldCount);
  }
  // A step of a distinct cursor skips the records whose first n columns equal the current one's.
  if (request.SkipEqualKeys && !request.FromStart && navigation.DistinctKeyCount > 0 &&
      request.CurrentRecord && order >= 0)
    AddIndexCondition(order, request.Forward ? soGreater : soLess, request.CurrentRecord,
                      navigation.DistinctKeyCount);

  std::vector<TABSSearchExpression*> expressions;
  for (int32_t i = 0; i < conditions_.Count(); ++i)
    if (conditions_[i].Expression) expressions.push_back(conditions_[i].Expression);
  const int32_t before = conditions_.Count();
  for (TABSSearchExpression* expression : expressions)
    expression->ExtractIndexConditions(cursor_, table_.IndexManager()->IndexDefs(), conditions_);
  for (int32_t i = before; i < conditions_.Count(); ++i)
    if (conditions_[i].IsIndexCondition())
      conditions_[i].KeyFieldCount = ColumnsOf(conditions_[i].IndexID, conditions_[i].KeyFieldCount);

  return NormaliseConditions(conditions_,
                             [this](int32_t id) -> TABSBTreeRecordIndex& { return IndexOf(id); });
}

TABSAccessPath TABSTableSearch::ChooseAccessPath(const TABSSearchRequest& request) {
  const TABSCursorNavigation& navigation = cursor_.Navigation();
  const int32_t order = navigation.OrderIndexID;
  std::vector<int32_t> positions;
  for (int32_t i = 0; i < conditions_.Count(); ++i)
    if (conditions_[i].IsIndexCondition()) positions.push_back(i);
  if (positions.empty()) return {};

  // Quick choices: an equal condition that names at most one record, or the cursor's own index.
  const TABSIndexDefs& definitions = table_.IndexManager()->IndexDefs();
  const TABSFieldDefs& fields = table_.FieldManager()->FieldDefs();
  for (int32_t position : positions) {
    const TABSScanSearchCondition& condition = conditions_[position];
    if (condition.Operator != soEqual) continue;
    const TABSIndexDef* definition = definitions.FindIndexByObjectID(condition.IndexID);
    if (!definition || definition->Columns.size() != 1) continue;
    const TABSFieldDef* field = fields.FindField(definition->Columns[0].FieldName);
    if (definition->Unique || definition->Primary || (field && IsAutoIncDataType(field->DataType())))
      return {condition.IndexID, &condition, nullptr};
  }
  if (positions.size() == 1 && conditions_[positions[0]].IndexID == order)
    return {order, &conditions_[positions[0]], nullptr};

  TABSBaseRecordManager& records = *table_.RecordManager();
  const int64_t total = records.RecordCount;
  const double storedSize = fields.StoredRecordSize();
  const int32_t tableDataSize =
      table_.PageManager() ? static_cast<int32_t>(table_.PageManager()->PageDataSize()) : 0;
  const bool callback = static_cast<bool>(navigation.FilterCallback);
  double best = static_cast<double>(total);
  TABSAccessPath chosen;
  auto consider = [&](int32_t first, int32_t second) {
    const TABSScanSearchCondition& a = conditions_[first];
    const TABSScanSearchCondition& b = second >= 0 ? conditions_[second] : a;
    TABSBTreeRecordIndex& index = IndexOf(a.IndexID);
    const double entry = index.KeyRef().KeySize + TABSRecordKeyRef::kAddressSize;
    const double pageSize =
        tableDataSize > 0 ? tableDataSize : static_cast<double>(index.Tree().Pages().PageDataSize());
    const double n = static_cast<double>(index.EstimateKeys(Session(), a, b, total));
    bool othersNeedRecord = callback;
    for (int32_t i = 0; i < conditions_.Count() && !othersNeedRecord; ++i)
      if (i != first && i != second && !conditions_[i].Redundant) othersNeedRecord = true;
    const bool otherOrder = order >= 0 && order != a.IndexID;
    double cost = n * entry / pageSize;
    if (othersNeedRecord || otherOrder) cost += n * storedSize / pageSize;
    if (otherOrder) cost += n * entry / pageSize;
    if (cost < best) {
      best = cost;
      chosen = {a.IndexID, &a, second >= 0 ? &b : nullptr};
    }
  };
  for (size_t p = 0; p < positions.size(); ++p) {
    consider(positions[p], -1);
    if (p + 1 >= positions.size()) continue;
    const TABSScanSearchCondition& a = conditions_[positions[p]];
    const TABSScanSearchCondition& b = conditions_[positions[p + 1]];
    const int da = ScanOperatorDirection(a.Operator), db = ScanOperatorDirection(b.Operator);
    if (a.IndexID == b.IndexID && da != 0 && db != 0 && da != db) consider(positions[p], positions[p + 1]);
  }
  if (tableDataSize > 0) {
    int64_t left = total;
    if (!request.FromStart && OnRecord(cursor_))
      left = total -
             std::max<int64_t>(0, records.ApproximateOrdinal(Session(), cursor_.CurrentPosition().Address));
    const double full =
        order < 0 ? static_cast<double>(left) * storedSize / tableDataSize : static_cast<double>(left);
    if (full < best) return {};
  }
  if (chosen.End) {
    // Of a pair the lower bound starts a forward scan and the upper bound ends it.
    if (ScanOperatorDirection(chosen.Start->Operator) > 0) std::swap(chosen.Start, chosen.End);
    if (!request.Forward) std::swap(chosen.Start, chosen.End);
  }
  return chosen;
}

bool TABSTableSearch::Accepts(const uint8_t* record, const TABSAccessPath& path) {
  for (int32_t i = 0; i < conditions_.Count(); ++i) {
    const TABSScanSearchCondition& condition = conditions_[i];
    if (&condition == path.Start || &condition == path.End) continue;
    if (condition.IsIndexCondition()) {
      // A redundant condition is checked by its expression.
      if (condition.Redundant) continue;
      const int r =
          IndexOf(condition.IndexID).CompareRecordBuffers(record, condition.Key(), condition.KeyFieldCount);
      if (!ScanOperatorAccepts(condition.Operator, r)) return false;
    } else if (!condition.Expression->IsTrue(cursor_, record, condition.Source)) {
      return false;
    }
  }
  const TABSFilterCallback& callback = cursor_.Navigation().FilterCallback;
  return !callback || callback(cursor_, record);
}

uint64_t TABSTableSearch::BitmapNumber(const TABSRecordAddress& address, const uint8_t* record,
                                       const TABSKeyPath* orderPath) {
  TABSRecordBitmap& bitmap = cursor_.Navigation().Bitmap;
  if (!bitmap.IndexNumbering()) return static_cast<uint64_t>(table_.AddressToRecordNumber(address));
  TABSBTreeRecordIndex& order = IndexOf(cursor_.Navigation().OrderIndexID);
  if (orderPath) return order.PathNumber(*orderPath);
  TABSKeyPath path;
  if (!order.FindRecordPath(Session(), address, path, record))
    throw EABSException(msg::kIndexInvalidPosition.At(20068));
  return order.PathNumber(path);
}

int TABSTableSearch::CompareInOrder(const uint8_t* a, const TABSRecordAddress& addressA, const uint8_t* b,
                                    const TABSRecordAddress& addressB) {
  const int32_t order = cursor_.Navigation().OrderIndexID;
  if (order < 0) return table_.RecordManager()->CompareAddresses(addressA, addressB);
  TABSBTreeRecordIndex& index = IndexOf(order);
  const int r = index.CompareRecordBuffers(a, b, index.KeyRef().ColumnCount());
  if (r != 0) return r;
  return addressA < addressB ? -1 : (addressB < addressA ? 1 : 0);
}

bool TABSTableSearch::WalkStorage(TABSSearchRequest& request, const TABSAccessPath& path,
                                  TABSRecordAddress& result) {
  TABSBaseRecordManager& records = *table_.RecordManager();
  TABSNavigationRecord navigation;
  navigation.Direction = request.Forward ? TABSNavigationRecord::kNext : TABSNavigationRecord::kPrior;
  navigation.Target = record_.data();
  if (request.FromStart || !OnRecord(cursor_))
    (request.Forward ? navigation.FromBeginning : navigation.FromEnd) = true;
  else
    navigation.Address = cursor_.CurrentPosition().Address;
  for (;;) {
    records.Navigate(Session(), navigation);
    if (navigation.Outcome != TABSNavigationRecord::kFound) return false;
    navigation.FromBeginning = navigation.FromEnd = false;
    if (!Accepts(navigation.Target, path)) continue;
    if (request.FillBitmap) {
      request.Bitmap->Set(BitmapNumber(navigation.Address, navigation.Target, nullptr), true);
      continue;
    }
    result = navigation.Address;
    return true;
  }
}

bool TABSTableSearch::ScanIndex(TABSSearchRequest& request, const TABSAccessPath& path,
                                TABSRecordAddress& result) {
  const int32_t order = cursor_.Navigation().OrderIndexID;
  const int32_t walked = path.IndexID >= 0 ? path.IndexID : order;
  TABSBTreeRecordIndex& index = IndexOf(walked);
  const bool inOrder = walked == order;
  const bool resume = !request.FromStart && OnRecord(cursor_);
  const TABSRecordAddress current = cursor_.CurrentPosition().Address;
  const uint8_t* currentRecord =
      request.CurrentRecord ? request.CurrentRecord : cursor_.Navigation().RecordBuffer;
  auto* record = record_.data();
  TABSScanState state;
  TABSRecordAddress address = current;
  bool haveBest = false;
  TABSRecordAddress bestAddress;
  for (bool firstStep = !(resume && inOrder);; firstStep = false) {
    if (!index.ScanStep(Session(), firstStep, state, address, currentRecord, path.End, path.Start,
                        !request.Forward))
      break;
    TABSNavigationRecord navigation;
    navigation.Address = address;
    navigation.Target = record;
    table_.RecordManager()->Navigate(Session(), navigation);
    if (navigation.Outcome != TABSNavigationRecord::kFound) continue;
    if (!Accepts(record, path)) continue;
    if (request.FillBitmap) {
      request.Bitmap->Set(BitmapNumber(address, record, inOrder ? &state.Current : nullptr), true);
      continue;
    }
    if (inOrder) {
      result = address;
      return true;
    }
    // Found out of the cursor's order: the nearest one beyond the current record wins.
    if (resume && currentRecord) {
      const int c = CompareInOrder(record, address, currentRecord, current);
      if (request.Forward ? c <= 0 : c >= 0) continue;
    }
    auto* best = best_.data();
    if (!haveBest || (request.Forward ? CompareInOrder(record, address, best, bestAddress) < 0
                                      : CompareInOrder(record, address, best, bestAddress) > 0)) {
      std::memcpy(best, record, static_cast<size_t>(recordSize_));
      bestAddress = address;
      haveBest = true;
    }
  }
  if (!haveBest) return false;
  result = bestAddress;
  return true;
}

bool TABSTableSearch::Execute(TABSSearchRequest& request, const TABSAccessPath& path,
                              TABSRecordAddress& result) {
  if (path.IndexID < 0 && cursor_.Navigation().OrderIndexID < 0) return WalkStorage(request, path, result);
  return ScanIndex(request, path, result);
}

bool TABSTableSearch::Run(TABSSearchRequest& request, TABSRecordAddress& result) {
  if (!Prepare(request)) return false;
  const TABSAccessPath path = ChooseAccessPath(request);
  return Execute(request, path, result);
}

bool AcceptCursorRecord(TABSTableData& table, TABSCursor& cursor, const uint8_t* record) {
  const TABSCursorNavigation& navigation = cursor.Navigation();
  const TABSCursorRange& range = navigation.Range;
  if (range.Active() && navigation.OrderIndexID >= 0) {
    TABSBTreeRecordIndex& index = BTreeIndexOf(table, navigation.OrderIndexID);
    if (range.Start) {
      const int r = index.CompareRecordBuffers(record, range.Start, ColumnsFor(index, range.StartFieldCount));
      if (range.StartExclusive ? r <= 0 : r < 0) return false;
    }
    if (range.End) {
      const int r = index.CompareRecordBuffers(record, range.End, ColumnsFor(index, range.EndFieldCount));
      if (range.EndExclusive ? r >= 0 : r > 0) return false;
    }
  }
  if (navigation.FilterExpression && !navigation.FilterExpression->IsTrue(cursor, record, nullptr))
    return false;
  if (navigation.SqlFilter && !navigation.SqlFilter->IsTrue(cursor, record, nullptr)) return false;
  return !navigation.FilterCallback || navigation.FilterCallback(cursor, record);
}

}  // namespace viz
