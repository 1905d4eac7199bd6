// Chart objects.
#include "tools/mql4run/program.h"

#include "tools/mql4run/builtins.h"

namespace mql {

// ---- objects ---------------------------------------------------------------------
bool Program::ObjectCreate(mql_long, const string& name, ENUM_OBJECT type, int sub_window, datetime time1,
                           double price1) {
    if (name.str().empty()) return false;
    if (ChartObject* existing = chart().find(name.str())) {
        // MetaTrader 4 refuses the name (error 4200); MetaTrader 5 moves
        // an object of that name and type, whichever program made it, and
        // answers true (another type: refused, 4200).
        if (context_.dialect == Dialect::mql4 || existing->type != type) {
            last_error_ = 4200;
            return false;
        }
        if (type != OBJ_LABEL) {
            existing->integers[OBJPROP_TIME] = time1;
            existing->doubles[OBJPROP_PRICE] = price1;
        }
        existing->window = sub_window;
        return true;
    }
    ChartObject object;
    object.name = name.str();
    object.type = type;
    object.window = sub_window;
    if (type != OBJ_LABEL) {  // a label sits at a corner distance, not at a bar
        object.integers[OBJPROP_TIME] = time1;
        object.doubles[OBJPROP_PRICE] = price1;
    }
    return chart().add(std::move(object)) != nullptr;
}

bool Program::ObjectCreate(mql_long chart_id, const string& name, ENUM_OBJECT type, int sub_window, datetime time1,
                           double price1, datetime time2, double price2) {
    if (!ObjectCreate(chart_id, name, type, sub_window, time1, price1)) return false;
    ChartObject* object = chart().find(name.str());
    object->two_points = true;
    object->time2 = time2;
    object->price2 = price2;
    return true;
}

bool Program::ObjectMove(mql_long, const string& name, int point, datetime time, double price) {
    ChartObject* object = chart().find(name.str());
    if (object == nullptr || point < 0 || point > (object->two_points ? 1 : 0)) return false;
    if (point == 0) {
        object->integers[OBJPROP_TIME] = time;
        object->doubles[OBJPROP_PRICE] = price;
    } else {
        object->time2 = time;
        object->price2 = price;
    }
    return true;
}

bool Program::ObjectDelete(mql_long, const string& name) { return chart().remove(name.str()); }

int Program::ObjectFind(mql_long, const string& name) {
    const ChartObject* object = chart().find(name.str());
    return object == nullptr ? -1 : object->window;
}

namespace {
bool matches(const ChartObject& object, int sub_window, int type) {
    return (sub_window < 0 || object.window == sub_window) && (type < 0 || object.type == type);
}
}  // namespace

int Program::ObjectsTotal(mql_long, int sub_window, int type) {
    ++terminal().calls["ObjectsTotal"];
    int count = 0;
    for (const ChartObject& object : chart().objects) count += matches(object, sub_window, type);
    return count;
}

string Program::ObjectName(mql_long, int pos, int sub_window, int type) {
    ++terminal().calls["ObjectName"];
    int index = 0;
    for (const ChartObject& object : chart().objects) {
        if (!matches(object, sub_window, type)) continue;
        if (index++ == pos) return string(object.name);
    }
    return string();
}

int Program::ObjectsDeleteAll(mql_long, const string& prefix, int sub_window, int type) {
    return chart().remove_if([&](const ChartObject& object) {
        return matches(object, sub_window, type) && object.name.compare(0, prefix.str().size(), prefix.str()) == 0;
    });
}

int Program::ObjectsDeleteAll(mql_long chart_id, int sub_window, int type) {
    return ObjectsDeleteAll(chart_id, string(), sub_window, type);
}

bool Program::ObjectSetInteger(mql_long, const string& name, ENUM_OBJECT_PROPERTY_INTEGER property, mql_long value) {
    ChartObject* object = chart().find(name.str());
    if (object == nullptr) return false;
    object->integers[property] = value;
    return true;
}

bool Program::ObjectSetDouble(mql_long, const string& name, ENUM_OBJECT_PROPERTY_DOUBLE property, double value) {
    ChartObject* object = chart().find(name.str());
    if (object == nullptr) return false;
    object->doubles[property] = value;
    return true;
}

bool Program::ObjectSetString(mql_long, const string& name, ENUM_OBJECT_PROPERTY_STRING property, const string& value) {
    ChartObject* object = chart().find(name.str());
    if (object == nullptr) return false;
    // MetaTrader 4 shows at most 63 characters of a text or label: the rest
    // is cut. The run ends instead, so a row that would lose its end shows.
    if (context_.dialect == Dialect::mql4 && property == OBJPROP_TEXT &&
        (object->type == OBJ_LABEL || object->type == OBJ_TEXT) && StringLen(value) > 63)
        throw RunStop{kExitRuntimeError, "ObjectSetString(" + name.str() + ", OBJPROP_TEXT): " +
                                             std::to_string(StringLen(value)) +
                                             " characters, MetaTrader 4 shows 63 of a label's text: \"" +
                                             value.str() + "\""};
    object->strings[property] = value.str();
    return true;
}

mql_long Program::ObjectGetInteger(mql_long, const string& name, ENUM_OBJECT_PROPERTY_INTEGER property, int) {
    const ChartObject* object = chart().find(name.str());
    if (object == nullptr) return 0;
    auto it = object->integers.find(property);
    return it == object->integers.end() ? 0 : it->second;
}

double Program::ObjectGetDouble(mql_long, const string& name, ENUM_OBJECT_PROPERTY_DOUBLE property, int) {
    const ChartObject* object = chart().find(name.str());
    if (object == nullptr) return 0;
    auto it = object->doubles.find(property);
    return it == object->doubles.end() ? 0 : it->second;
}

string Program::ObjectGetString(mql_long, const string& name, ENUM_OBJECT_PROPERTY_STRING property, int) {
    const ChartObject* object = chart().find(name.str());
    if (object == nullptr) return string();
    auto it = object->strings.find(property);
    return it == object->strings.end() ? string() : string(it->second);
}

}  // namespace mql
