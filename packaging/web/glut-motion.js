// Linked after emscripten's GLUT (--post-js): its mouse motion handler hands
// the game the position before the move instead of the new one, so the
// game's cursor, which a click acts at, lags one move behind the pointer
// (a click right after a jump lands where the pointer was). The same
// handler, with the new position.
GLUT.onMousemove = function (event) {
  var lastX = Browser.mouseX;
  var lastY = Browser.mouseY;
  Browser.calculateMouseEvent(event);
  if (Browser.mouseX == lastX && Browser.mouseY == lastY) return;
  var callback = 0;
  if (GLUT.buttons == 0 && event.target == Module['canvas']) {
    callback = GLUT.passiveMotionFunc;
  } else if (GLUT.buttons != 0) {
    callback = GLUT.motionFunc;
  }
  if (callback) {
    event.preventDefault();
    GLUT.saveModifiers(event);
    dynCall('vii', callback, [Browser.mouseX, Browser.mouseY]);
  }
};
