# The check of NoWidgets.cmake on small trees: what it must find and what it must let pass.
#   cmake -DCHECK=<NoWidgets.cmake> -DWORK_DIR=<a scratch folder> -P NoWidgetsCheck.cmake
cmake_minimum_required(VERSION 3.16)

set(_qt ${WORK_DIR}/QtWidgets)
file(REMOVE_RECURSE ${WORK_DIR})
file(WRITE ${_qt}/QWidget "")
file(WRITE ${_qt}/QTextEdit "")
file(WRITE ${_qt}/qtextedit.h "")

# A tree with the class library's editor (a widget) beside a document that is none.
function(tree name calendar_text)
  set(_root ${WORK_DIR}/${name})
  file(WRITE ${_root}/foundation/Base.h "class TThing {\n};\n")
  file(WRITE ${_root}/controls/Editor.h
       "#include <QTextEdit>\nclass TCustomEditor : public QTextEdit {\n};\n"
       "class TEditor final : public TCustomEditor {\n};\nclass TDocument : public TThing {\n};\n")
  file(WRITE ${_root}/calendar/Notes.cpp "${calendar_text}")
endfunction()

# Runs the check on a tree; Expect is the fault it must report, empty when the tree is clean.
function(expect name expected)
  execute_process(COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${WORK_DIR}/${name} -DQT_WIDGETS_DIR=${_qt} -P ${CHECK}
                  RESULT_VARIABLE _rc OUTPUT_VARIABLE _out ERROR_VARIABLE _out)
  if(expected STREQUAL "")
    if(NOT _rc EQUAL 0)
      message(SEND_ERROR "${name}: a clean tree was refused:\n${_out}")
    endif()
  elseif(_rc EQUAL 0)
    message(SEND_ERROR "${name}: passed, but should report \"${expected}\"")
  else()
    string(FIND "${_out}" "${expected}" _at)
    if(_at LESS 0)
      message(SEND_ERROR "${name}: does not report \"${expected}\":\n${_out}")
    endif()
  endif()
endfunction()

tree(member "#include \"controls/Editor.h\"\nstruct TBox {\n  TEditor editor_;\n};\n")
expect(member "calendar/Notes.cpp uses the widget class TEditor")

tree(made "void Draw() { auto e = std::make_unique<TCustomEditor>(); }\n")
expect(made "calendar/Notes.cpp uses the widget class TCustomEditor")

tree(qt "void Draw(QWidget* w);\n")
expect(qt "calendar/Notes.cpp uses the widget class QWidget")

tree(header "#include <QTextEdit>\n")
expect(header "calendar/Notes.cpp includes <QTextEdit> of the widgets module")

tree(based "class TNotesEditor : public TEditor {\n};\n")
expect(based "calendar/Notes.cpp defines TNotesEditor on the widget class TEditor")

# Widget classes named only in comments and texts, and a class of the library that is no widget.
tree(clean
     "// Drawn as TEditor would draw it; /* no TCustomEditor */\n"
     "/* a QWidget\n   over lines */\n"
     "const char* k = \"TEditor \\\" QWidget\";\n"
     "const char q = '\"';\n"
     "struct TBox {\n  TDocument doc_;  // not a TEditor\n};\n")
expect(clean "")
