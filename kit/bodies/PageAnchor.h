#pragma once

#include <QString>

namespace ostrel {

// The HTML with every way it has to move its own page taken away, so that
// what rendered stays shown: meta elements lose their http-equiv (a refresh
// or redirect among them), and a base element's target becomes _self (a
// default target of a new window would make every link do nothing).
//
// It works on the text, not on a parsed document: right after each "<meta"
// and "<base" tag name it writes an attribute of its own, and a browser keeps
// the first of two attributes of the same name. So no quoting, entity or
// comment trick can hide the original from it. The cost: the same words
// inside a comment, an attribute value or raw text gain the attribute too.
QString anchoredPage(const QString &html);

}  // namespace ostrel
