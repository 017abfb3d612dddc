// The open book: two page slots around the spine and the page being turned.
//
// Book coordinates are the catalogue's page units with the spine at x = 0: the left page spans
// [-W, 0] and the right page [0, W]. Spread 0 is the cover, page 1 alone on the right; spread s
// shows pages 2s (left) and 2s + 1 (right).
//
// A turn folds the sheet along the perpendicular bisector of the dragged corner and the point
// it is dragged to: the part of the sheet beyond that line is reflected across it and shows the
// sheet's back. A backward turn is the same fold seen in a mirror (the turning layer has
// scaleX = -1), with the page matrices chosen so that no page is drawn mirrored.

import flash.display.Shape;
import flash.display.Sprite;
import flash.events.Event;
import flash.geom.Matrix;
import flash.geom.Point;

class Book extends Sprite {
	public static inline var TURN_FRAMES = 14;

	public var spread(default, null) = 0;
	public var turning(default, null) = false;
	public var onSpreadChanged:Void->Void = null;

	var catalogue:Catalogue;
	var pageWidth:Float;
	var pageHeight:Float;
	var views = new Map<Int, PageView>();
	var slots:Sprite;
	var turnLayer:Sprite;
	var shadow:Shape;

	// The turn in progress, in the turning layer's coordinates.
	var forward = true;
	var corner:Point;
	var point:Point;
	var target:Point = null;
	var frontView:PageView = null;
	var backView:PageView = null;
	var frontMask:Shape;
	var backMask:Shape;

	public function new(catalogue:Catalogue) {
		super();
		this.catalogue = catalogue;
		pageWidth = catalogue.width;
		pageHeight = catalogue.height;
		slots = new Sprite();
		turnLayer = new Sprite();
		frontMask = new Shape();
		backMask = new Shape();
		shadow = new Shape();
		addChild(slots);
		addChild(turnLayer);
		showSpread(0);
	}

	public var pageCount(get, never):Int;

	function get_pageCount()
		return catalogue.pages.length;

	public var lastSpread(get, never):Int;

	function get_lastSpread()
		return spreadOf(pageCount);

	public static inline function spreadOf(page:Int):Int
		return Std.int(page / 2);

	public function leftPage(s:Int):Int
		return s == 0 ? 0 : (2 * s <= pageCount ? 2 * s : 0);

	public function rightPage(s:Int):Int
		return 2 * s + 1 <= pageCount ? 2 * s + 1 : 0;

	public function view(page:Int):PageView {
		if (page < 1 || page > pageCount)
			return null;
		var existing = views.get(page);
		if (existing == null) {
			existing = new PageView(page, catalogue.pages[page - 1], pageWidth, pageHeight);
			views.set(page, existing);
		}
		return existing;
	}

	public function goToSpread(s:Int) {
		if (turning)
			return;
		s = Std.int(Math.max(0, Math.min(lastSpread, s)));
		if (s != spread)
			showSpread(s);
	}

	// Turns one spread with the page-curl animation, as a click on the page edge does.
	public function turn(forwards:Bool) {
		if (turning)
			return;
		if (!startTurn(forwards, true))
			return;
		target = new Point(-pageWidth, corner.y);
		addEventListener(Event.ENTER_FRAME, animate);
	}

	// Dragging a corner: `local` is the pointer in book coordinates.
	public function beginDrag(local:Point):Bool {
		if (turning)
			return false;
		var forwards = local.x > 0;
		if (!startTurn(forwards, local.y > pageHeight / 2))
			return false;
		dragTo(local);
		return true;
	}

	public function dragTo(local:Point) {
		if (!turning || target != null)
			return;
		point = constrain(new Point(forward ? local.x : -local.x, local.y));
		drawFold();
	}

	// Released: the turn completes when the corner crossed the spine, else the page falls back.
	public function endDrag() {
		if (!turning || target != null)
			return;
		target = point.x < 0 ? new Point(-pageWidth, corner.y) : corner.clone();
		addEventListener(Event.ENTER_FRAME, animate);
	}

	function startTurn(forwards:Bool, bottom:Bool):Bool {
		var next = forwards ? spread + 1 : spread - 1;
		if (next < 0 || next > lastSpread)
			return false;
		forward = forwards;
		var front = view(forwards ? rightPage(spread) : leftPage(spread));
		var back = view(forwards ? leftPage(next) : rightPage(next));
		if (front == null)
			return false;
		turning = true;
		frontView = front;
		backView = back;
		corner = new Point(pageWidth, bottom ? pageHeight : 0);
		point = corner.clone();
		target = null;

		// Underneath: the pages the turn uncovers, in their slots.
		var keep = forwards ? leftPage(spread) : rightPage(spread);
		var uncovered = forwards ? rightPage(next) : leftPage(next);
		placeSlots(forwards ? keep : uncovered, forwards ? uncovered : keep);
		for (page in [front, back])
			if (page != null)
				page.load();

		turnLayer.scaleX = forwards ? 1 : -1;
		turnLayer.addChild(front);
		front.transform.matrix = forwards ? new Matrix() : mirror();
		front.mask = frontMask;
		turnLayer.addChild(frontMask);
		if (back != null) {
			turnLayer.addChild(back);
			back.mask = backMask;
			turnLayer.addChild(backMask);
		}
		turnLayer.addChild(shadow);
		drawFold();
		return true;
	}

	// Maps a page's own coordinates onto the sheet seen from the other side.
	function mirror():Matrix
		return new Matrix(-1, 0, 0, 1, pageWidth, 0);

	function animate(_:Event) {
		var dx = target.x - point.x;
		var dy = target.y - point.y;
		var step = 2 * pageWidth / TURN_FRAMES;
		var distance = Math.sqrt(dx * dx + dy * dy);
		if (distance <= step) {
			point = target;
			removeEventListener(Event.ENTER_FRAME, animate);
			finishTurn(target.x < 0);
			return;
		}
		// The corner travels along an arc above the straight line, as a hand lifts it.
		point = new Point(point.x + dx * step / distance, point.y + dy * step / distance - (corner.y > 0 ? 1 : -1) * 0.02 * pageHeight);
		point = constrain(point);
		drawFold();
	}

	function finishTurn(completed:Bool) {
		for (page in [frontView, backView])
			if (page != null) {
				page.mask = null;
				page.transform.matrix = new Matrix();
			}
		while (turnLayer.numChildren > 0) turnLayer.removeChildAt(0);
		shadow.graphics.clear();
		turning = false;
		target = null;
		var next = forward ? spread + 1 : spread - 1;
		showSpread(completed ? next : spread);
	}

	// The dragged corner stays on the sheet: at most a page width from the spine's end on its
	// edge, and at most the page's diagonal from the spine's other end.
	function constrain(p:Point):Point {
		var near = new Point(0, corner.y);
		var far = new Point(0, pageHeight - corner.y);
		p = limit(p, near, pageWidth);
		return limit(p, far, Math.sqrt(pageWidth * pageWidth + pageHeight * pageHeight));
	}

	static function limit(p:Point, centre:Point, radius:Float):Point {
		var dx = p.x - centre.x;
		var dy = p.y - centre.y;
		var distance = Math.sqrt(dx * dx + dy * dy);
		if (distance <= radius)
			return p;
		return new Point(centre.x + dx * radius / distance, centre.y + dy * radius / distance);
	}

	function drawFold() {
		var dx = point.x - corner.x;
		var dy = point.y - corner.y;
		var length = Math.sqrt(dx * dx + dy * dy);
		var sheet = [
			new Point(0, 0),
			new Point(pageWidth, 0),
			new Point(pageWidth, pageHeight),
			new Point(0, pageHeight)
		];
		frontMask.graphics.clear();
		backMask.graphics.clear();
		shadow.graphics.clear();
		if (length < 0.5) {
			fillPolygon(frontMask, sheet);
			return;
		}
		// Unit normal of the fold line, pointing away from the corner, and the line's offset.
		var nx = dx / length;
		var ny = dy / length;
		var mx = (corner.x + point.x) / 2;
		var my = (corner.y + point.y) / 2;
		var offset = mx * nx + my * ny;
		var kept = clip(sheet, nx, ny, offset, true);
		var folded = clip(sheet, nx, ny, offset, false);
		fillPolygon(frontMask, kept);
		var reflected = [for (p in folded) reflect(p, nx, ny, offset)];
		fillPolygon(backMask, reflected);
		if (backView != null) {
			var onSheet = forward ? mirror() : new Matrix();
			var reflection = new Matrix(1 - 2 * nx * nx, -2 * nx * ny, -2 * nx * ny, 1 - 2 * ny * ny, 2 * offset * nx, 2 * offset * ny);
			onSheet.concat(reflection);
			backView.transform.matrix = onSheet;
		}
		// A soft line along the fold gives the turned sheet an edge.
		if (reflected.length >= 2) {
			shadow.graphics.lineStyle(Math.max(1, pageWidth / 300), 0x000000, 0.25);
			fillPolygon(shadow, reflected, false);
		}
	}

	// The part of a convex polygon on one side of the line n.p = offset.
	static function clip(polygon:Array<Point>, nx:Float, ny:Float, offset:Float, beyond:Bool):Array<Point> {
		var result = [];
		inline function side(p:Point):Float
			return (p.x * nx + p.y * ny - offset) * (beyond ? 1 : -1);
		for (i in 0...polygon.length) {
			var a = polygon[i];
			var b = polygon[(i + 1) % polygon.length];
			var sa = side(a);
			var sb = side(b);
			if (sa >= 0)
				result.push(a);
			if ((sa >= 0) != (sb >= 0)) {
				var t = sa / (sa - sb);
				result.push(new Point(a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t));
			}
		}
		return result;
	}

	static function reflect(p:Point, nx:Float, ny:Float, offset:Float):Point {
		var distance = p.x * nx + p.y * ny - offset;
		return new Point(p.x - 2 * distance * nx, p.y - 2 * distance * ny);
	}

	static function fillPolygon(shape:Shape, points:Array<Point>, fill = true) {
		if (points.length < 3)
			return;
		var graphics = shape.graphics;
		if (fill)
			graphics.beginFill(0x000000);
		graphics.moveTo(points[0].x, points[0].y);
		for (i in 1...points.length)
			graphics.lineTo(points[i].x, points[i].y);
		graphics.lineTo(points[0].x, points[0].y);
		if (fill)
			graphics.endFill();
	}

	function showSpread(s:Int) {
		spread = s;
		placeSlots(leftPage(s), rightPage(s));
		// The spread and its neighbours are loaded; movies two spreads away are let go.
		for (page => pageView in views) {
			var distance = Std.int(Math.abs(spreadOf(page) - s));
			if (distance <= 1)
				pageView.load();
			else if (distance > 2)
				pageView.unload();
		}
		for (near in [s - 1, s, s + 1])
			if (near >= 0 && near <= lastSpread)
				for (page in [leftPage(near), rightPage(near)])
					if (page > 0)
						view(page).load();
		if (onSpreadChanged != null)
			onSpreadChanged();
	}

	function placeSlots(left:Int, right:Int) {
		while (slots.numChildren > 0) slots.removeChildAt(0);
		var leftView = view(left);
		var rightView = view(right);
		if (leftView != null) {
			leftView.transform.matrix = new Matrix(1, 0, 0, 1, -pageWidth, 0);
			slots.addChild(leftView);
		}
		if (rightView != null) {
			rightView.transform.matrix = new Matrix();
			slots.addChild(rightView);
		}
	}

	public function visiblePages():Array<Int>
		return [for (page in [leftPage(spread), rightPage(spread)]) if (page > 0) page];

	public function pageMessage(page:Int):String {
		var pageView = views.get(page);
		return pageView == null ? null : pageView.message;
	}
}
