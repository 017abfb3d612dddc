// vellora.swf: the catalogue's Flash viewer. It reads "vellora.xml" beside it and shows the
// page movies as a book: the cover alone on the right, then spreads of two pages, turned by
// dragging a corner or clicking a page edge, with the ten buttons the catalogue asks for.

import flash.display.Sprite;
import flash.display.StageAlign;
import flash.display.StageDisplayState;
import flash.display.StageScaleMode;
import flash.events.Event;
import flash.events.IOErrorEvent;
import flash.events.KeyboardEvent;
import flash.events.MouseEvent;
import flash.events.SecurityErrorEvent;
import flash.external.ExternalInterface;
import flash.geom.Matrix;
import flash.geom.Point;
import flash.net.URLLoader;
import flash.net.URLRequest;
import flash.printing.PrintJob;
import flash.text.TextField;
import flash.text.TextFieldAutoSize;
import flash.text.TextFormat;
import flash.text.TextFormatAlign;
import flash.ui.Keyboard;

class Main extends Sprite {
	static inline var MARGIN = 16;
	static var ZOOMS = [1.0, 1.5, 2.0, 3.0, 4.0];
	// How far from a page's outer edge a press starts a turn, as a share of the page width.
	static inline var EDGE = 0.18;

	var catalogue:Catalogue = null;
	var book:Book = null;
	var bookFrame:Sprite;
	var toolbar:Toolbar = null;
	var panel:Panel = null;
	var panelName:String = null;
	var notice:TextField = null;
	var zoomLevel = 0;
	var baseScale = 1.0;
	var dragging = false;
	var panning = false;
	var pressPoint:Point = null;
	var pressPan:Point = null;
	var pan = new Point(0, 0);

	static function main() {
		var stage = flash.Lib.current.stage;
		stage.scaleMode = StageScaleMode.NO_SCALE;
		stage.align = StageAlign.TOP_LEFT;
		flash.Lib.current.addChild(new Main());
	}

	public function new() {
		super();
		bookFrame = new Sprite();
		addChild(bookFrame);
		addEventListener(Event.ADDED_TO_STAGE, start);
	}

	function start(_:Event) {
		stage.addEventListener(Event.RESIZE, function(_) layout());
		stage.addEventListener(KeyboardEvent.KEY_DOWN, onKey);
		exposeState();
		drawBackground(0xFFFFFF, 0xC0C0C0);
		var loader = new URLLoader();
		loader.addEventListener(Event.COMPLETE, function(_) configure(loader.data));
		loader.addEventListener(IOErrorEvent.IO_ERROR,
			function(_) showNotice("Le fichier de configuration « vellora.xml » est introuvable : ce catalogue ne peut pas s'afficher."));
		loader.addEventListener(SecurityErrorEvent.SECURITY_ERROR,
			function(_) showNotice("Le fichier « vellora.xml » n'a pas pu être lu : ouvrez ce catalogue depuis un site web (http ou https)."));
		try {
			loader.load(new URLRequest("vellora.xml"));
		} catch (error:Dynamic) {
			showNotice("Le fichier « vellora.xml » n'a pas pu être lu : ouvrez ce catalogue depuis un site web (http ou https).");
		}
	}

	function configure(text:String) {
		var parsed = Catalogue.parse(text);
		if (parsed.error != null) {
			showNotice("Le fichier « vellora.xml » est illisible : " + parsed.error + ".");
			return;
		}
		catalogue = parsed;
		book = new Book(catalogue);
		book.onSpreadChanged = updatePageText;
		bookFrame.addChild(book);
		toolbar = new Toolbar(catalogue, act);
		addChild(toolbar);
		bookFrame.addEventListener(MouseEvent.MOUSE_DOWN, onPress);
		stage.addEventListener(MouseEvent.MOUSE_MOVE, onMove);
		stage.addEventListener(MouseEvent.MOUSE_UP, onRelease);
		updatePageText();
		layout();
	}

	function act(name:String) {
		if (book == null)
			return;
		switch (name) {
			case "print": printVisiblePages();
			case "zoomLess": setZoom(zoomLevel - 1);
			case "zoomPlus": setZoom(zoomLevel + 1);
			case "first": book.goToSpread(0);
			case "previous": book.turn(false);
			case "next": book.turn(true);
			case "last": book.goToSpread(book.lastSpread);
			case "index": togglePanel("index");
			case "pages": togglePanel("pages");
			case "fullScreen": toggleFullScreen();
		}
	}

	function onKey(event:KeyboardEvent) {
		if (book == null)
			return;
		switch (event.keyCode) {
			case Keyboard.RIGHT | Keyboard.PAGE_DOWN: book.turn(true);
			case Keyboard.LEFT | Keyboard.PAGE_UP: book.turn(false);
			case Keyboard.HOME: book.goToSpread(0);
			case Keyboard.END: book.goToSpread(book.lastSpread);
			case Keyboard.ESCAPE:
				if (panel != null) togglePanel(panelName) else setZoom(0);
			default:
		}
	}

	// A press near a page's outer edge takes its corner; elsewhere on a zoomed book it pans.
	function onPress(event:MouseEvent) {
		var local = book.globalToLocal(new Point(event.stageX, event.stageY));
		var nearEdge = Math.abs(local.x) > catalogue.width * (1 - EDGE);
		pressPoint = new Point(event.stageX, event.stageY);
		if (nearEdge && zoomLevel == 0) {
			dragging = book.beginDrag(local);
		} else if (zoomLevel > 0) {
			panning = true;
			pressPan = pan.clone();
		}
	}

	function onMove(event:MouseEvent) {
		if (dragging) {
			book.dragTo(book.globalToLocal(new Point(event.stageX, event.stageY)));
		} else if (panning) {
			pan = new Point(pressPan.x + event.stageX - pressPoint.x, pressPan.y + event.stageY - pressPoint.y);
			layout();
		}
	}

	// A click without a drag on the page edge turns the page all the way.
	function onRelease(event:MouseEvent) {
		if (dragging) {
			dragging = false;
			var moved = pressPoint == null ? 99.0 : Point.distance(pressPoint, new Point(event.stageX, event.stageY));
			if (moved < 4) {
				var forward = book.globalToLocal(pressPoint).x > 0;
				book.endDrag();
				haxe.Timer.delay(function() book.turn(forward), 1);
			} else {
				book.endDrag();
			}
		}
		panning = false;
	}

	function setZoom(level:Int) {
		zoomLevel = Std.int(Math.max(0, Math.min(ZOOMS.length - 1, level)));
		if (zoomLevel == 0)
			pan = new Point(0, 0);
		layout();
	}

	function togglePanel(name:String) {
		if (panel != null) {
			removeChild(panel);
			var wasOpen = panelName;
			panel = null;
			panelName = null;
			if (wasOpen == name)
				return;
		}
		var entries:Array<Panel.PanelEntry> = name == "index" ? [
			for (entry in catalogue.index) {page: entry.page, text: entry.description, image: null}
		] : [
			for (page in 1...catalogue.pages.length + 1) {page: page, text: null, image: "page" + page + "-t.jpg"}
		];
		var title = name == "index" ? "Index" : "Pages";
		panel = new Panel(title, entries, name == "pages", catalogue.height / catalogue.width, function(page) {
			togglePanel(name);
			book.goToSpread(Book.spreadOf(page));
		});
		panelName = name;
		addChild(panel);
		layout();
	}

	function toggleFullScreen() {
		try {
			stage.displayState = stage.displayState == StageDisplayState.NORMAL ? StageDisplayState.FULL_SCREEN : StageDisplayState.NORMAL;
		} catch (error:Dynamic) {
			showToast("Le plein écran n'est pas permis par ce lecteur Flash.");
		}
	}

	function printVisiblePages() {
		var job = new PrintJob();
		try {
			if (!job.start())
				return;
			for (page in book.visiblePages())
				job.addPage(book.view(page));
			job.send();
		} catch (error:Dynamic) {
			showToast("L'impression n'a pas pu se faire.");
		}
	}

	function updatePageText() {
		if (toolbar == null)
			return;
		var pages = book.visiblePages();
		var shown = pages.length == 2 ? pages[0] + "-" + pages[1] : Std.string(pages[0]);
		toolbar.setPageText(shown + " / " + catalogue.pages.length);
	}

	function layout() {
		var width = stage.stageWidth;
		var height = stage.stageHeight;
		if (catalogue != null)
			drawBackground(catalogue.color1, catalogue.color2);
		if (notice != null) {
			notice.width = width * 0.8;
			notice.x = width * 0.1;
			notice.y = height / 2 - notice.height / 2;
		}
		if (book == null)
			return;
		var available = height - Toolbar.HEIGHT - 3 * MARGIN;
		baseScale = Math.min((width - 2 * MARGIN) / (2 * catalogue.width), available / catalogue.height);
		var scale = baseScale * ZOOMS[zoomLevel];
		bookFrame.transform.matrix = new Matrix(scale, 0, 0, scale, width / 2 + pan.x, MARGIN + (available - catalogue.height * scale) / 2 + pan.y);
		toolbar.x = Math.round((width - toolbar.width) / 2);
		toolbar.y = height - Toolbar.HEIGHT - MARGIN;
		if (panel != null) {
			panel.resize(Math.min(width - 2 * MARGIN, 560), Math.max(120, height - Toolbar.HEIGHT - 3 * MARGIN));
			panel.x = Math.round((width - panel.width) / 2);
			panel.y = MARGIN;
		}
	}

	function drawBackground(top:Int, bottom:Int) {
		var matrix = new Matrix();
		matrix.createGradientBox(stage.stageWidth, stage.stageHeight, Math.PI / 2);
		graphics.clear();
		graphics.beginGradientFill(flash.display.GradientType.LINEAR, [top, bottom], [1, 1], [0, 255], matrix);
		graphics.drawRect(0, 0, stage.stageWidth, stage.stageHeight);
		graphics.endFill();
	}

	function showNotice(text:String) {
		if (notice == null) {
			notice = new TextField();
			notice.selectable = false;
			notice.multiline = true;
			notice.wordWrap = true;
			notice.autoSize = TextFieldAutoSize.CENTER;
			var format = new TextFormat("_sans", 18, 0x8A1C1C, true);
			format.align = TextFormatAlign.CENTER;
			notice.defaultTextFormat = format;
			addChild(notice);
		}
		notice.text = text;
		layout();
	}

	function showToast(text:String) {
		showNotice(text);
		haxe.Timer.delay(function() {
			if (notice != null && notice.text == text) {
				removeChild(notice);
				notice = null;
			}
		}, 3000);
	}

	// The page around the movie may ask what it shows: the pages in view, the buttons and
	// where they are on the stage, the panel's rows, the open tooltip and any message.
	function exposeState() {
		if (!ExternalInterface.available)
			return;
		try {
			ExternalInterface.addCallback("velloraState", state);
		} catch (error:Dynamic) {}
	}

	function state():Dynamic {
		var result:Dynamic = {
			message: notice == null ? null : notice.text,
			pages: book == null ? [] : book.visiblePages(),
			pageCount: catalogue == null ? 0 : catalogue.pages.length,
			turning: book != null && book.turning,
			zoom: ZOOMS[zoomLevel],
			tooltip: toolbar == null || !toolbar.tooltip.visible ? null : toolbar.tooltip.text,
			panel: panelName,
			buttons: {},
			rows: [],
			pageMessages: [],
			book: null
		};
		if (book != null) {
			result.pageMessages = [for (page in book.visiblePages()) book.pageMessage(page)];
			var topLeft = book.localToGlobal(new Point(-catalogue.width, 0));
			var bottomRight = book.localToGlobal(new Point(catalogue.width, catalogue.height));
			result.book = {x: topLeft.x, y: topLeft.y, width: bottomRight.x - topLeft.x, height: bottomRight.y - topLeft.y};
		}
		if (toolbar != null)
			for (name => button in toolbar.buttons) {
				var at = button.localToGlobal(new Point(0, 0));
				Reflect.setField(result.buttons, name, {x: at.x, y: at.y, width: button.width, height: button.height});
			}
		if (panel != null)
			result.rows = [
				for (row in panel.rows) {
					var at = row.localToGlobal(new Point(0, 0));
					{x: at.x, y: at.y, width: row.width, height: row.height};
				}
			];
		return result;
	}
}
