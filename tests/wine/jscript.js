// What JScript alone sends: calls without/with parentheses, Enumerator, undefined, null, throws.
var checks = 0, failures = 0;
function check(what, actual, expected) {
  checks++;
  if (actual !== expected) {
    failures++;
    WScript.Echo("FAIL " + what + ": got [" + actual + "], expected [" + expected + "]");
  }
}
// The VB error number of what the call raises, 0 when it raises nothing.
function errorOf(call) {
  try {
    call();
  } catch (e) {
    return e.number & 0xFFFF;
  }
  return 0;
}

function main(folder) {
  var lm = new ActiveXObject("TarveskLogManager.LogManager");
  var fs = lm.FileSetManager;
  check("LoadFileSet", fs.LoadFileSet(folder), true);
  check("FileCount as a method", fs.FileCount(), 2);

  var ld = fs.LogContent(1);
  var list = ld.GetActionList();
  check("GetActionList without parentheses", ld.GetActionList.Count, 3);
  var entries = 0;
  for (var e = new Enumerator(list); !e.atEnd(); e.moveNext()) entries++;
  check("Enumerator", entries, 3);
  list.Add("b", undefined, 1);
  check("undefined skips the key: inserted before entry 1", list.Item(1), "b");
  var loose = new ActiveXObject("TarveskLogManager.LogData");
  loose.Parent = fs;
  loose.Parent = null;
  check("null clears Parent", loose.Parent, null);

  var ah = new ActiveXObject("TarveskLogManager.ActionHandler");
  ah.LogFileHandle = 1;
  ah.ActionHandle = 1;
  check("FileSetObject takes a set", errorOf(function () { ah.FileSetObject = fs; }), 0);
  check("FileSetObject takes null", errorOf(function () { ah.FileSetObject = null; }), 0);
  check("a cleared FileSetObject: UndoAction raises 91", errorOf(function () { ah.UndoAction(); }), 91);
}

check("error escaping main", errorOf(function () { main(WScript.Arguments(0)); }), 0);
WScript.Echo("PROCESS " +
             new ActiveXObject("WScript.Shell").Environment("PROCESS")("PROCESSOR_ARCHITECTURE"));
WScript.Echo("SUMMARY checks=" + checks + " failures=" + failures);
