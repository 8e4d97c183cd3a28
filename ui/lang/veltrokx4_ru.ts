<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ru_RU">
<context>
    <name>AdapterCheck</name>
    <message>
        <source>network</source>
        <translation>сетевой</translation>
    </message>
    <message>
        <source>serial</source>
        <translation>последовательный</translation>
    </message>
    <message>
        <source>Port</source>
        <translation>Порт</translation>
    </message>
    <message>
        <source>Adapter</source>
        <translation>Адаптер</translation>
    </message>
    <message>
        <source>no answer</source>
        <translation>нет ответа</translation>
    </message>
    <message>
        <source>(no identification)</source>
        <translation>(без идентификации)</translation>
    </message>
    <message>
        <source>Extended command set</source>
        <translation>Расширенный набор команд</translation>
    </message>
    <message>
        <source>cannot be told: it names no ELM327 version</source>
        <translation>не определить: адаптер не называет версию ELM327</translation>
    </message>
    <message>
        <source>cannot be told: %1 has no commands the first version lacks</source>
        <translation>не определить: у %1 нет команд, которых нет в первой версии</translation>
    </message>
    <message>
        <source>yes, it knows %1</source>
        <translation>да, знает %1</translation>
    </message>
    <message>
        <source>no, it refuses %1, which a genuine %2 knows: probably a clone with the first version&apos;s commands</source>
        <translation>нет, отвергает %1, которые знает настоящий %2: вероятно, клон с командами первой версии</translation>
    </message>
    <message>
        <source>partly: it knows %1 and refuses %2</source>
        <translation>отчасти: знает %1 и отвергает %2</translation>
    </message>
    <message>
        <source>Answers like the chip it names</source>
        <translation>Отвечает как названная микросхема</translation>
    </message>
    <message>
        <source>not tried: fast transfers are off</source>
        <translation>не пробовали: быстрый обмен выключен</translation>
    </message>
    <message>
        <source>not tried</source>
        <translation>не пробовали</translation>
    </message>
    <message>
        <source>not known: no dashboard answered</source>
        <translation>неизвестно: панель приборов не ответила</translation>
    </message>
    <message>
        <source>accepted</source>
        <translation>принимает</translation>
    </message>
    <message>
        <source>refused (&quot;?&quot;): every request waits out the reply time-out</source>
        <translation>отвергает («?»): каждый запрос ждёт весь тайм-аут ответа</translation>
    </message>
    <message>
        <source>answered &quot;NO DATA&quot;: not used, every request waits out the reply time-out</source>
        <translation>отвечает «NO DATA»: не используется, каждый запрос ждёт весь тайм-аут ответа</translation>
    </message>
    <message>
        <source>Response count</source>
        <translation>Число ответов в запросе</translation>
    </message>
    <message>
        <source>not tried: a network adapter has no line rate</source>
        <translation>не пробовали: у сетевого адаптера нет скорости линии</translation>
    </message>
    <message>
        <source>not tried: the port&apos;s rate is virtual</source>
        <translation>не пробовали: скорость порта условная</translation>
    </message>
    <message>
        <source>not tried: the port runs no faster</source>
        <translation>не пробовали: порт не работает быстрее</translation>
    </message>
    <message>
        <source>switched from %1 to %2 bit/s</source>
        <translation>переключена с %1 на %2 бит/с</translation>
    </message>
    <message>
        <source>&quot;%1&quot; refused at %2</source>
        <translation>«%1» отвергнута на %2</translation>
    </message>
    <message>
        <source>agreed to %1, but the line did not follow</source>
        <translation>согласие на %1, но линия не перешла</translation>
    </message>
    <message>
        <source>Rate switch</source>
        <translation>Смена скорости</translation>
    </message>
    <message>
        <source>Highest rate reached</source>
        <translation>Достигнутая скорость</translation>
    </message>
    <message>
        <source>%1 bit/s</source>
        <translation>%1 бит/с</translation>
    </message>
    <message>
        <source>unavailable (the adapter answers &quot;?&quot;)</source>
        <translation>недоступно (адаптер отвечает «?»)</translation>
    </message>
    <message>
        <source>unavailable (no answer)</source>
        <translation>недоступно (нет ответа)</translation>
    </message>
    <message>
        <source>Supply voltage</source>
        <translation>Напряжение питания</translation>
    </message>
    <message>
        <source>Dashboard</source>
        <translation>Панель приборов</translation>
    </message>
    <message>
        <source>answers (firmware %1, %2 pages)</source>
        <translation>отвечает (прошивка %1, страниц: %2)</translation>
    </message>
    <message>
        <source>One exchange</source>
        <translation>Один обмен</translation>
    </message>
    <message>
        <source>%1 ms (median of %2 dashboard requests)</source>
        <translation>%1 мс (медиана %2 запросов к панели)</translation>
    </message>
    <message>
        <source>%1 ms (median of %2 adapter commands)</source>
        <translation>%1 мс (медиана %2 команд адаптеру)</translation>
    </message>
    <message>
        <source>not measured</source>
        <translation>не измерено</translation>
    </message>
    <message>
        <source>yes: a network (Wi-Fi) adapter</source>
        <translation>да: сетевой (Wi-Fi) адаптер</translation>
    </message>
    <message>
        <source>yes: a Bluetooth serial port</source>
        <translation>да: последовательный порт Bluetooth</translation>
    </message>
    <message>
        <source>likely: an adapter command takes %1 ms, the line explains %2 ms</source>
        <translation>вероятно: команда адаптеру занимает %1 мс, линией объясняется %2 мс</translation>
    </message>
    <message>
        <source>not seen: an adapter command takes %1 ms, the line explains %2 ms</source>
        <translation>не замечен: команда адаптеру занимает %1 мс, линией объясняется %2 мс</translation>
    </message>
    <message>
        <source>Wireless module</source>
        <translation>Беспроводной модуль</translation>
    </message>
    <message>
        <source>%1 min %2 s</source>
        <translation>%1 мин %2 с</translation>
    </message>
    <message>
        <source>%1 s</source>
        <translation>%1 с</translation>
    </message>
    <message>
        <source>16-page backup</source>
        <translation>Резервная копия 16 страниц</translation>
    </message>
    <message>
        <source>about %1 (%2 exchanges)</source>
        <translation>около %1 (обменов: %2)</translation>
    </message>
    <message>
        <source>at least %1 (%2 exchanges, and the dashboard&apos;s time)</source>
        <translation>не меньше %1 (обменов: %2, и время панели)</translation>
    </message>
    <message>
        <source>likely: the adapter answered a rate switch at its old rate</source>
        <translation>вероятно: адаптер ответил на смену скорости на прежней скорости</translation>
    </message>
</context>
<context>
    <name>AdapterCheckDialog</name>
    <message>
        <source>Adapter test</source>
        <translation>Проверка адаптера</translation>
    </message>
</context>
<context>
    <name>CFGRunner</name>
    <message>
        <source>Connection closed</source>
        <translation>Соединение закрыто</translation>
    </message>
    <message>
        <source>no valid reply</source>
        <translation>нет правильного ответа</translation>
    </message>
    <message>
        <source>Parsed the device config</source>
        <translation>Конфигурация панели прочитана</translation>
    </message>
    <message>
        <source>Device config is corrupted</source>
        <translation>Конфигурация панели повреждена</translation>
    </message>
    <message>
        <source>Another operation is in progress</source>
        <translation>Уже выполняется другая операция</translation>
    </message>
    <message>
        <source>Communication error</source>
        <translation>Ошибка связи</translation>
    </message>
    <message>
        <source>Cannot import - the source file could not be read</source>
        <translation>Восстановление невозможно: не удалось прочитать файл</translation>
    </message>
    <message>
        <source>Cannot import - the source file is corrupted</source>
        <translation>Восстановление невозможно: файл повреждён</translation>
    </message>
    <message>
        <source>Cannot import - the source file is not a backup file</source>
        <translation>Восстановление невозможно: это не файл резервной копии</translation>
    </message>
    <message>
        <source>Cannot import - the source file has been created by another app</source>
        <translation>Восстановление невозможно: файл создан другой программой</translation>
    </message>
    <message>
        <source>Cannot import - the source file was created for another board</source>
        <translation>Восстановление невозможно: файл создан для другой панели приборов</translation>
    </message>
    <message>
        <source>Config data could not be read</source>
        <translation>Не удалось прочитать данные конфигурации</translation>
    </message>
    <message>
        <source>Config data is corrupted</source>
        <translation>Данные конфигурации повреждены</translation>
    </message>
    <message>
        <source>Info</source>
        <translation>Описание</translation>
    </message>
    <message>
        <source>Units</source>
        <translation>Единицы</translation>
    </message>
    <message>
        <source>No image</source>
        <translation>Нет картинки</translation>
    </message>
    <message>
        <source>Cannot load %1</source>
        <translation>Не удалось загрузить %1</translation>
    </message>
    <message>
        <source>Splash is not ready</source>
        <translation>Заставка не готова</translation>
    </message>
    <message>
        <source>Cannot reboot - not connected</source>
        <translation>Перезагрузка невозможна: нет подключения</translation>
    </message>
    <message>
        <source>Update utility executable not found</source>
        <translation>Программа обновления прошивки не найдена</translation>
    </message>
    <message>
        <source>Cannot export - device is not properly connected</source>
        <translation>Сохранение невозможно: панель приборов не подключена</translation>
    </message>
    <message>
        <source>Cannot export - another operation is in progress</source>
        <translation>Сохранение невозможно: уже выполняется другая операция</translation>
    </message>
    <message>
        <source>Cannot export - the device reports more memory than can be copied</source>
        <translation>Сохранение невозможно: панель сообщает о большем объёме памяти, чем можно скопировать</translation>
    </message>
    <message>
        <source>Config could not be saved - check permissions</source>
        <translation>Не удалось сохранить конфигурацию: проверьте права доступа к папке</translation>
    </message>
    <message>
        <source>Export error. The saved config may be corrupt</source>
        <translation>Ошибка сохранения. Сохранённая конфигурация может быть повреждена</translation>
    </message>
    <message>
        <source>Export failed - invalid reply</source>
        <translation>Сохранение не удалось: неправильный ответ панели</translation>
    </message>
    <message>
        <source>Export complete!</source>
        <translation>Конфигурация сохранена!</translation>
    </message>
    <message>
        <source>Export failed - the backup could not be written</source>
        <translation>Сохранение не удалось: не получилось записать резервную копию</translation>
    </message>
    <message>
        <source>Cannot import - device is not properly connected</source>
        <translation>Восстановление невозможно: панель приборов не подключена</translation>
    </message>
    <message>
        <source>Cannot import - the source file does not exist</source>
        <translation>Восстановление невозможно: файл не найден</translation>
    </message>
    <message>
        <source>Cannot import - another operation is in progress</source>
        <translation>Восстановление невозможно: уже выполняется другая операция</translation>
    </message>
    <message>
        <source>Cannot import - the device reports more memory than can be written</source>
        <translation>Восстановление невозможно: панель сообщает о большем объёме памяти, чем можно записать</translation>
    </message>
    <message>
        <source>Import finished</source>
        <translation>Восстановление завершено</translation>
    </message>
    <message>
        <source>The configuration does not fit into the device</source>
        <translation>Конфигурация не помещается в память панели</translation>
    </message>
    <message>
        <source>Saved as %1</source>
        <translation>Сохранено в %1</translation>
    </message>
    <message>
        <source>Cannot reset maintenance - the current counters have not been read</source>
        <translation>Невозможно сбросить обслуживание - текущие счётчики не прочитаны</translation>
    </message>
    <message>
        <source>Cannot open %1: there is no such port</source>
        <translation>Невозможно открыть %1: такого порта нет</translation>
    </message>
    <message>
        <source>Cannot open %1: %2</source>
        <translation>Невозможно открыть %1: %2</translation>
    </message>
    <message>
        <source>Serial ports belong to the dialout group: add your user to it (sudo usermod -aG dialout $USER) and log in again.</source>
        <translation>Последовательные порты принадлежат группе dialout: добавьте в неё своего пользователя (sudo usermod -aG dialout $USER) и войдите в систему заново.</translation>
    </message>
    <message>
        <source>No adapter answered on %1 at any baud rate</source>
        <translation>Адаптер на %1 не ответил ни на одной скорости</translation>
    </message>
    <message>
        <source>Cannot connect to %1</source>
        <translation>Невозможно подключиться к %1</translation>
    </message>
    <message>
        <source>No adapter answered on %1</source>
        <translation>Адаптер на %1 не ответил</translation>
    </message>
    <message>
        <source>The adapter on %1 answered, but no dashboard did: check that the dashboard is powered and wired to the adapter</source>
        <translation>Адаптер на %1 ответил, а панель приборов нет: проверьте, что панель включена и подключена к адаптеру</translation>
    </message>
    <message>
        <source>%1 is larger than the display&apos;s %2</source>
        <translation>%1 больше размера дисплея %2</translation>
    </message>
    <message>
        <source>The dashboard is restarting in firmware-update mode</source>
        <translation>Панель приборов перезагружается в режим обновления прошивки</translation>
    </message>
    <message>
        <source>The dashboard is restarting: connect again once it is up</source>
        <translation>Панель приборов перезагружается: подключитесь снова, когда она запустится</translation>
    </message>
    <message>
        <source>adapter reset</source>
        <translation>адаптер перезагрузился</translation>
    </message>
    <message>
        <source>No file chosen for the diagnostics report</source>
        <translation>Не выбран файл для отчёта диагностики</translation>
    </message>
    <message>
        <source>Cannot write %1: %2</source>
        <translation>Не удалось записать %1: %2</translation>
    </message>
    <message>
        <source>Cannot open %1: the port is in use by another program</source>
        <translation>Невозможно открыть %1: порт занят другой программой</translation>
    </message>
    <message>
        <source>No adapter answered on %1 at %2 baud. It may still be at a faster rate from an earlier session: the rate &quot;Automatic&quot; finds it.</source>
        <translation>Адаптер на %1 не ответил на скорости %2 бод. Возможно, он всё ещё работает на более высокой скорости, оставшейся от прошлого сеанса: скорость «Automatic» её найдёт.</translation>
    </message>
    <message>
        <source>it is not a regular file</source>
        <translation>это не обычный файл</translation>
    </message>
    <message>
        <source>import of %1</source>
        <translation>импорт %1</translation>
    </message>
    <message>
        <source>configuration write</source>
        <translation>запись конфигурации</translation>
    </message>
    <message>
        <source>Cannot write - device is not properly connected</source>
        <translation>Запись невозможна - панель подключена неправильно</translation>
    </message>
    <message>
        <source>Not an entry of the history: %1</source>
        <translation>Это не запись истории: %1</translation>
    </message>
    <message>
        <source>What the dashboard held before is kept in %1</source>
        <translation>Прежнее содержимое панели сохранено в %1</translation>
    </message>
    <message>
        <source>The import was not started: the backup of the dashboard failed (%1)</source>
        <translation>Восстановление не начато: не удалось сделать резервную копию панели (%1)</translation>
    </message>
</context>
<context>
    <name>ConfigPage</name>
    <message>
        <source>NOT SUPPORTED</source>
        <translation>НЕ ПОДДЕРЖИВАЕТСЯ</translation>
    </message>
    <message>
        <source>Version</source>
        <translation>Версия</translation>
    </message>
    <message>
        <source>Aux. Gauges</source>
        <translation>Доп. приборы</translation>
    </message>
    <message>
        <source>RPM Gauge Limit</source>
        <translation>Предел шкалы оборотов</translation>
    </message>
    <message>
        <source>Speed Gauge Limit</source>
        <translation>Предел шкалы скорости</translation>
    </message>
    <message>
        <source>Maintenance warning</source>
        <translation>Напоминание о ТО</translation>
    </message>
    <message>
        <source>Enter menu at startup</source>
        <translation>Вход в меню при включении</translation>
    </message>
    <message>
        <source>Display logo when stopped</source>
        <translation>Логотип при остановке</translation>
    </message>
    <message>
        <source>Maintenance limit (km)</source>
        <translation>Интервал ТО (км)</translation>
    </message>
    <message>
        <source>Maintenance limit (hours)</source>
        <translation>Интервал ТО (моточасы)</translation>
    </message>
    <message>
        <source>Needles animation</source>
        <translation>Анимация стрелок</translation>
    </message>
    <message>
        <source>Animation Delay, ms</source>
        <translation>Задержка анимации, мс</translation>
    </message>
    <message>
        <source>RPM Warning</source>
        <translation>Предупреждение об оборотах</translation>
    </message>
    <message>
        <source>Threshold</source>
        <translation>Порог</translation>
    </message>
</context>
<context>
    <name>ConnectionPage</name>
    <message>
        <source>Connection</source>
        <translation>Подключение</translation>
    </message>
    <message>
        <source>Serial Port:</source>
        <translation>Последовательный порт:</translation>
    </message>
    <message>
        <source>Baud Rate:</source>
        <translation>Скорость обмена:</translation>
    </message>
    <message>
        <source>Firmware update utility</source>
        <translation>Программа обновления прошивки</translation>
    </message>
    <message>
        <source>Rescan ports</source>
        <translation>Обновить список портов</translation>
    </message>
    <message>
        <source>Connect</source>
        <translation>Подключиться</translation>
    </message>
    <message>
        <source>A serial port, or the address of a Wi-Fi adapter as HOST:PORT</source>
        <translation>Последовательный порт или адрес Wi-Fi адаптера в виде ХОСТ:ПОРТ</translation>
    </message>
    <message>
        <source>Test adapter</source>
        <translation>Проверить адаптер</translation>
    </message>
</context>
<context>
    <name>DevicePage</name>
    <message>
        <source>Dashboard</source>
        <translation>Приборы</translation>
    </message>
    <message>
        <source>Main Screen</source>
        <translation>Основной экран</translation>
    </message>
    <message>
        <source>Splash Screen</source>
        <translation>Заставка</translation>
    </message>
    <message>
        <source>Board Config</source>
        <translation>Настройки панели</translation>
    </message>
    <message>
        <source>Reset Maintenance</source>
        <translation>Сбросить ТО</translation>
    </message>
    <message>
        <source>Engine:</source>
        <translation>Двигатель:</translation>
    </message>
    <message>
        <source>Display</source>
        <translation>Дисплей</translation>
    </message>
    <message>
        <source>Apply changes</source>
        <translation>Применить изменения</translation>
    </message>
    <message>
        <source>Splash is not ready</source>
        <translation>Заставка не готова</translation>
    </message>
    <message>
        <source>Screen Menu</source>
        <translation>Меню экрана</translation>
    </message>
    <message>
        <source>Picture Menu</source>
        <translation>Меню заставки</translation>
    </message>
    <message>
        <source>Start a new maintenance interval? The current odometer (%1 km) and engine time become the saved maintenance points.</source>
        <translation>Начать новый интервал обслуживания? Текущий пробег (%1 км) и моточасы станут точками последнего обслуживания.</translation>
    </message>
    <message>
        <source>Layout saved</source>
        <translation>Раскладка сохранена</translation>
    </message>
    <message>
        <source>Layout loaded: &quot;Apply changes&quot; writes it</source>
        <translation>Раскладка загружена: «Применить изменения» запишет её</translation>
    </message>
    <message>
        <source>Save layout...</source>
        <translation>Сохранить раскладку...</translation>
    </message>
    <message>
        <source>Load layout...</source>
        <translation>Загрузить раскладку...</translation>
    </message>
    <message>
        <source>Save layout</source>
        <translation>Сохранение раскладки</translation>
    </message>
    <message>
        <source>Layout profiles (*.json)</source>
        <translation>Профили раскладки (*.json)</translation>
    </message>
    <message>
        <source>All files (*)</source>
        <translation>Все файлы (*)</translation>
    </message>
    <message>
        <source>Load layout</source>
        <translation>Загрузка раскладки</translation>
    </message>
    <message>
        <source>%1 already exists. Replace it?</source>
        <translation>%1 уже существует. Заменить?</translation>
    </message>
    <message>
        <source>Earlier settings loaded: &quot;Apply changes&quot; writes them</source>
        <translation>Прежние настройки загружены: «Применить изменения» запишет их</translation>
    </message>
    <message>
        <source>These changes will be written to the dashboard:</source>
        <translation>В панель будут записаны эти изменения:</translation>
    </message>
    <message>
        <source>History...</source>
        <translation>История...</translation>
    </message>
    <message>
        <source>History</source>
        <translation>История</translation>
    </message>
    <message>
        <source>What the dashboard held before each write. The one chosen is loaded into the pages; &quot;Apply changes&quot; writes it.</source>
        <translation>Что хранила панель перед каждой записью. Выбранное загружается на страницы; «Применить изменения» запишет его.</translation>
    </message>
    <message>
        <source>No write has been made from this computer yet.</source>
        <translation>С этого компьютера ещё не было ни одной записи.</translation>
    </message>
</context>
<context>
    <name>DifferenceDialog</name>
    <message>
        <source>Nothing changes: the dashboard already holds this. Nothing is written.</source>
        <translation>Ничего не меняется: панель уже хранит это. Ничего не записывается.</translation>
    </message>
</context>
<context>
    <name>DisplayItem</name>
    <message>
        <source>Choose from the list</source>
        <translation>Выберите из списка</translation>
    </message>
</context>
<context>
    <name>DisplayPage</name>
    <message>
        <source>Available parameters:</source>
        <translation>Доступные параметры:</translation>
    </message>
    <message>
        <source>Select a parameter</source>
        <translation>Выберите параметр</translation>
    </message>
</context>
<context>
    <name>ELM327IOBase</name>
    <message>
        <source>The connection was closed before the adapter answered</source>
        <translation>Соединение закрыто до ответа адаптера</translation>
    </message>
    <message>
        <source>No answer from the adapter at %1 within 5 s</source>
        <translation>Адаптер по адресу %1 не ответил за 5 с</translation>
    </message>
</context>
<context>
    <name>ImageDrop</name>
    <message>
        <source>Drop an image here</source>
        <translation>Перетащите сюда картинку</translation>
    </message>
</context>
<context>
    <name>LayoutProfile</name>
    <message>
        <source>The layout could not be saved: %1</source>
        <translation>Не удалось сохранить раскладку: %1</translation>
    </message>
    <message>
        <source>The layout could not be read: %1</source>
        <translation>Не удалось прочитать раскладку: %1</translation>
    </message>
    <message>
        <source>The file is not a layout profile</source>
        <translation>Файл не является профилем раскладки</translation>
    </message>
    <message>
        <source>The layout is not valid JSON: %1 at byte %2</source>
        <translation>Раскладка не является корректным JSON: %1 в байте %2</translation>
    </message>
    <message>
        <source>The layout&apos;s format version %1 is not supported (this tool reads version %2)</source>
        <translation>Версия формата раскладки %1 не поддерживается (программа читает версию %2)</translation>
    </message>
    <message>
        <source>The layout names an unknown engine &quot;%1&quot;</source>
        <translation>В раскладке указан неизвестный двигатель «%1»</translation>
    </message>
    <message>
        <source>The layout names an unknown display type &quot;%1&quot; (single or double)</source>
        <translation>В раскладке указан неизвестный тип дисплея «%1» (single или double)</translation>
    </message>
    <message>
        <source>The layout&apos;s positions are not a list of at most %1 entries</source>
        <translation>Позиции раскладки должны быть списком не более чем из %1 элементов</translation>
    </message>
    <message>
        <source>Position %1 of the layout is malformed</source>
        <translation>Позиция %1 раскладки записана неверно</translation>
    </message>
    <message>
        <source>Position %1 of the layout: &quot;%2&quot; (pid %3, cid %4) is not in the catalogue</source>
        <translation>Позиция %1 раскладки: параметра «%2» (pid %3, cid %4) нет в каталоге</translation>
    </message>
    <message>
        <source>Position %1 of the layout: &quot;%2&quot; is not offered for the engine &quot;%3&quot;</source>
        <translation>Позиция %1 раскладки: параметр «%2» недоступен для двигателя «%3»</translation>
    </message>
    <message>
        <source>The layout&apos;s board setting &quot;%1&quot; is missing</source>
        <translation>В раскладке нет настройки платы «%1»</translation>
    </message>
    <message>
        <source>The layout&apos;s board setting &quot;%1&quot; is %2, outside %3 to %4</source>
        <translation>Настройка платы «%1» в раскладке равна %2, вне диапазона от %3 до %4</translation>
    </message>
    <message>
        <source>The layout&apos;s board setting &quot;%1&quot; must be true or false</source>
        <translation>Настройка платы «%1» в раскладке должна быть true или false</translation>
    </message>
    <message>
        <source>The layout&apos;s board setting &quot;%1&quot; is unknown</source>
        <translation>Неизвестная настройка платы «%1» в раскладке</translation>
    </message>
    <message>
        <source>The layout&apos;s board settings are malformed</source>
        <translation>Настройки платы в раскладке записаны неверно</translation>
    </message>
    <message numerus="yes">
        <source>The layout was made for a double display: only its first 6 positions were loaded, %n filled position(s) left out</source>
        <translation>
            <numerusform>Раскладка сделана для двойного дисплея: загружены только первые 6 позиций, %n заполненная позиция пропущена</numerusform>
            <numerusform>Раскладка сделана для двойного дисплея: загружены только первые 6 позиций, %n заполненные позиции пропущены</numerusform>
            <numerusform>Раскладка сделана для двойного дисплея: загружены только первые 6 позиций, %n заполненных позиций пропущено</numerusform>
        </translation>
    </message>
    <message>
        <source>The layout was made for a double display: only its first 6 positions were loaded</source>
        <translation>Раскладка сделана для двойного дисплея: загружены только первые 6 позиций</translation>
    </message>
    <message>
        <source>%1... (cut after %2 of its %3 characters)</source>
        <translation>%1... (обрезано: %2 из %3 символов)</translation>
    </message>
    <message>
        <source>The layout&apos;s format version is missing</source>
        <translation>В раскладке не указана версия формата</translation>
    </message>
    <message>
        <source>The layout&apos;s format version must be a number</source>
        <translation>Версия формата раскладки должна быть числом</translation>
    </message>
    <message>
        <source>The layout&apos;s board setting &quot;%1&quot; must be a number</source>
        <translation>Настройка платы «%1» в раскладке должна быть числом</translation>
    </message>
    <message>
        <source>it is not a regular file</source>
        <translation>это не обычный файл</translation>
    </message>
</context>
<context>
    <name>Maintenance</name>
    <message>
        <source>Odometer, km</source>
        <translation>Пробег, км</translation>
    </message>
    <message>
        <source>Time, hours</source>
        <translation>Моточасы, ч</translation>
    </message>
</context>
<context>
    <name>MaterialDropItem</name>
    <message>
        <source>Drop a file/text here</source>
        <translation>Перетащите сюда файл или текст</translation>
    </message>
</context>
<context>
    <name>PicturePage</name>
    <message>
        <source>No image</source>
        <translation>Нет картинки</translation>
    </message>
    <message>
        <source>Clear</source>
        <translation>Очистить</translation>
    </message>
    <message>
        <source>Pictures up to %1 pixels</source>
        <translation>Изображения до %1 пикселей</translation>
    </message>
    <message>
        <source>(the display shows them turned)</source>
        <translation>(дисплей показывает их повёрнутыми)</translation>
    </message>
    <message>
        <source>Choose a splash picture</source>
        <translation>Выберите заставку</translation>
    </message>
    <message>
        <source>Pictures</source>
        <translation>Изображения</translation>
    </message>
    <message>
        <source>All files</source>
        <translation>Все файлы</translation>
    </message>
    <message>
        <source>Click to choose a picture, or drop one here</source>
        <translation>Щёлкните, чтобы выбрать изображение, или перетащите его сюда</translation>
    </message>
</context>
<context>
    <name>ProgressPage</name>
    <message>
        <source>%1 s</source>
        <translation>%1 с</translation>
    </message>
    <message>
        <source>%1 min %2 s</source>
        <translation>%1 мин %2 с</translation>
    </message>
    <message>
        <source>%1 min</source>
        <translation>%1 мин</translation>
    </message>
    <message>
        <source>About %1 left</source>
        <translation>Осталось около %1</translation>
    </message>
</context>
<context>
    <name>QDropTextHandler</name>
    <message>
        <source>Binary content: %1...</source>
        <translation>Двоичные данные: %1...</translation>
    </message>
    <message>
        <source>File is larger than %1 MiB</source>
        <translation>Файл больше %1 МиБ</translation>
    </message>
</context>
<context>
    <name>TcpTransport</name>
    <message>
        <source>&quot;%1&quot; is not a network address: expected HOST:PORT, for instance 192.168.0.10:35000</source>
        <translation>«%1» — не сетевой адрес: нужно ХОСТ:ПОРТ, например 192.168.0.10:35000</translation>
    </message>
    <message>
        <source>The connection to %1 was cancelled</source>
        <translation>Подключение к %1 отменено</translation>
    </message>
    <message>
        <source>%1 refused the connection: nothing listens on that port</source>
        <translation>%1 отклонил подключение: на этом порту ничего не работает</translation>
    </message>
    <message>
        <source>%1 could not be found</source>
        <translation>%1 не найден</translation>
    </message>
    <message>
        <source>No route to %1 (%2): is this computer on the adapter&apos;s Wi-Fi network?</source>
        <translation>Нет маршрута к %1 (%2): подключён ли компьютер к Wi-Fi сети адаптера?</translation>
    </message>
    <message>
        <source>No answer from %1 within 5 s: is this computer on the adapter&apos;s Wi-Fi network?</source>
        <translation>%1 не ответил за 5 с: подключён ли компьютер к Wi-Fi сети адаптера?</translation>
    </message>
    <message>
        <source>The adapter at %1 closed the connection</source>
        <translation>Адаптер по адресу %1 закрыл соединение</translation>
    </message>
</context>
<context>
    <name>WriteDifference</name>
    <message>
        <source>on</source>
        <translation>вкл.</translation>
    </message>
    <message>
        <source>off</source>
        <translation>выкл.</translation>
    </message>
    <message>
        <source>Aux. gauges</source>
        <translation>Доп. приборы</translation>
    </message>
    <message>
        <source>not present</source>
        <translation>нет</translation>
    </message>
    <message>
        <source>RPM gauge limit</source>
        <translation>Шкала тахометра</translation>
    </message>
    <message>
        <source>Speed gauge limit</source>
        <translation>Шкала спидометра</translation>
    </message>
    <message>
        <source>Animation delay</source>
        <translation>Задержка анимации</translation>
    </message>
    <message>
        <source>ms</source>
        <translation>мс</translation>
    </message>
    <message>
        <source>RPM warning threshold</source>
        <translation>Порог предупреждения об оборотах</translation>
    </message>
    <message>
        <source>rpm</source>
        <translation>об/мин</translation>
    </message>
    <message>
        <source>Maintenance interval</source>
        <translation>Интервал ТО</translation>
    </message>
    <message>
        <source>km</source>
        <translation>км</translation>
    </message>
    <message>
        <source>h</source>
        <translation>ч</translation>
    </message>
    <message>
        <source>Needles animation</source>
        <translation>Анимация стрелок</translation>
    </message>
    <message>
        <source>Enter menu at startup</source>
        <translation>Вход в меню при включении</translation>
    </message>
    <message>
        <source>RPM warning</source>
        <translation>Предупреждение об оборотах</translation>
    </message>
    <message>
        <source>Maintenance warning</source>
        <translation>Напоминание о ТО</translation>
    </message>
    <message>
        <source>Display logo when stopped</source>
        <translation>Логотип при остановке</translation>
    </message>
    <message>
        <source>Other option bits</source>
        <translation>Прочие биты настроек</translation>
    </message>
    <message>
        <source>(empty)</source>
        <translation>(пусто)</translation>
    </message>
    <message>
        <source>unknown value</source>
        <translation>неизвестное значение</translation>
    </message>
    <message>
        <source>Engine</source>
        <translation>Двигатель</translation>
    </message>
    <message>
        <source>(none)</source>
        <translation>(нет)</translation>
    </message>
    <message>
        <source>Position %1</source>
        <translation>Позиция %1</translation>
    </message>
    <message>
        <source>an unknown time</source>
        <translation>в неизвестное время</translation>
    </message>
    <message>
        <source>Backup %1, made %2</source>
        <translation>Резервная копия %1, создана %2</translation>
    </message>
    <message>
        <source>From a dashboard with firmware %1, %2 pages of memory, %3 display</source>
        <translation>С панели с прошивкой %1, %2 стр. памяти, дисплей: %3</translation>
    </message>
    <message>
        <source>double</source>
        <translation>двойной</translation>
    </message>
    <message>
        <source>single</source>
        <translation>одинарный</translation>
    </message>
    <message>
        <source>The display layout and the board settings stay as they are</source>
        <translation>Раскладка дисплея и настройки платы не меняются</translation>
    </message>
    <message>
        <source>Saved odometer point</source>
        <translation>Пробег на момент ТО</translation>
    </message>
    <message>
        <source>Saved engine-time point</source>
        <translation>Моточасы на момент ТО</translation>
    </message>
    <message>
        <source>min</source>
        <translation>мин</translation>
    </message>
    <message>
        <source>km/h</source>
        <translation>км/ч</translation>
    </message>
</context>
<context>
    <name>WriteHistory</name>
    <message>
        <source>The dashboard&apos;s settings could not be kept in the history: %1</source>
        <translation>Настройки панели не удалось сохранить в истории: %1</translation>
    </message>
    <message>
        <source>The history folder %1 could not be made</source>
        <translation>Не удалось создать папку истории %1</translation>
    </message>
    <message>
        <source>The history folder %1 holds too many entries of one moment</source>
        <translation>В папке истории %1 слишком много записей за один момент</translation>
    </message>
    <message>
        <source>double display</source>
        <translation>двойной дисплей</translation>
    </message>
    <message>
        <source>single display</source>
        <translation>одинарный дисплей</translation>
    </message>
    <message>
        <source>firmware %1</source>
        <translation>прошивка %1</translation>
    </message>
    <message>
        <source>firmware unknown</source>
        <translation>прошивка неизвестна</translation>
    </message>
    <message>
        <source>not finished</source>
        <translation>не завершена</translation>
    </message>
    <message>
        <source>written</source>
        <translation>записана</translation>
    </message>
    <message>
        <source>failed</source>
        <translation>сбой</translation>
    </message>
    <message>
        <source>%1, %2, %3: before %4 (%5)</source>
        <translation>%1, %2, %3: до записи «%4» (%5)</translation>
    </message>
</context>
<context>
    <name>main</name>
    <message>
        <source>Veltro KX4 Config</source>
        <translation>Настройка Veltro KX4</translation>
    </message>
    <message>
        <source>Disconnect</source>
        <translation>Отключиться</translation>
    </message>
    <message>
        <source>Backup</source>
        <translation>Резервная копия</translation>
    </message>
    <message>
        <source>Export device config</source>
        <translation>Сохранить конфигурацию панели</translation>
    </message>
    <message>
        <source>Import device config</source>
        <translation>Восстановить конфигурацию панели</translation>
    </message>
    <message>
        <source>Manage backup storage</source>
        <translation>Папка резервных копий</translation>
    </message>
    <message>
        <source>Device restart</source>
        <translation>Перезагрузка панели</translation>
    </message>
    <message>
        <source>Firmware update</source>
        <translation>Обновление прошивки</translation>
    </message>
    <message>
        <source>About</source>
        <translation>О программе</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>Выход</translation>
    </message>
    <message>
        <source>Connected</source>
        <translation>Подключено</translation>
    </message>
    <message>
        <source>Connecting</source>
        <translation>Подключение</translation>
    </message>
    <message>
        <source>Not connected</source>
        <translation>Нет подключения</translation>
    </message>
    <message>
        <source>Disconnecting</source>
        <translation>Отключение</translation>
    </message>
    <message>
        <source>Reading data</source>
        <translation>Чтение данных</translation>
    </message>
    <message>
        <source>Exporting data</source>
        <translation>Сохранение данных</translation>
    </message>
    <message>
        <source>Importing data</source>
        <translation>Восстановление данных</translation>
    </message>
    <message>
        <source>Writing data</source>
        <translation>Запись данных</translation>
    </message>
    <message>
        <source>Uploading splash screen</source>
        <translation>Загрузка заставки</translation>
    </message>
    <message>
        <source>Rebooting</source>
        <translation>Перезагрузка</translation>
    </message>
    <message>
        <source>Import Config</source>
        <translation>Восстановление конфигурации</translation>
    </message>
    <message>
        <source>Not found</source>
        <translation>Копий не найдено</translation>
    </message>
    <message>
        <source>Retore Maintenance Point</source>
        <translation>Восстановить счётчики ТО</translation>
    </message>
    <message>
        <source>Are you sure you want to restart the device?</source>
        <translation>Перезагрузить панель приборов?</translation>
    </message>
    <message>
        <source>Firmware Upgrade</source>
        <translation>Обновление прошивки</translation>
    </message>
    <message>
        <source>Are you sure you want to update the firmware?</source>
        <translation>Вы действительно хотите обновить прошивку?</translation>
    </message>
    <message>
        <source>This is a potentially dangerous operation that may render the device inoperable.</source>
        <translation>Это опасная операция: после неё панель приборов может перестать работать.</translation>
    </message>
    <message>
        <source>Please read the manual carefully before updating the firmware!</source>
        <translation>Перед обновлением прошивки внимательно прочитайте инструкцию!</translation>
    </message>
    <message>
        <source>Veltro KX4 Config </source>
        <translation>Настройка Veltro KX4 </translation>
    </message>
    <message>
        <source>3rd party software</source>
        <translation>Сторонние компоненты</translation>
    </message>
    <message>
        <source>Language</source>
        <translation>Язык</translation>
    </message>
    <message>
        <source>Restart the app to apply changes</source>
        <translation>Перезапустите программу, чтобы изменения вступили в силу</translation>
    </message>
    <message>
        <source>Device Info</source>
        <translation>Сведения о панели</translation>
    </message>
    <message>
        <source>English</source>
        <translation>Английский</translation>
    </message>
    <message>
        <source>Russian</source>
        <translation>Русский</translation>
    </message>
    <message>
        <source>Veltro KX4</source>
        <translation>Veltro KX4</translation>
    </message>
    <message>
        <source>New version %1 is available!</source>
        <translation>Доступна новая версия %1!</translation>
    </message>
    <message>
        <source>An update to &lt;b&gt;version %1&lt;/b&gt; is available</source>
        <translation>Доступно обновление до &lt;b&gt;версии %1&lt;/b&gt;</translation>
    </message>
    <message>
        <source>Update</source>
        <translation>Обновление</translation>
    </message>
    <message>
        <source>Update to %1?</source>
        <translation>Обновить до %1?</translation>
    </message>
    <message>
        <source>Application will restart itself once updated</source>
        <translation>После обновления приложение перезапустится</translation>
    </message>
    <message>
        <source>Developed by Quorvel</source>
        <translation>Разработка: Quorvel</translation>
    </message>
    <message>
        <source>unknown dashboard</source>
        <translation>неизвестная панель</translation>
    </message>
    <message>
        <source>FW %1, %2</source>
        <translation>ПО %1, %2</translation>
    </message>
    <message>
        <source>double display</source>
        <translation>двойной дисплей</translation>
    </message>
    <message>
        <source>single display</source>
        <translation>одинарный дисплей</translation>
    </message>
    <message>
        <source>Save diagnostics...</source>
        <translation>Сохранить диагностику...</translation>
    </message>
    <message>
        <source>Save diagnostics</source>
        <translation>Сохранение диагностики</translation>
    </message>
    <message>
        <source>Text files (*.txt)</source>
        <translation>Текстовые файлы (*.txt)</translation>
    </message>
    <message>
        <source>All files (*)</source>
        <translation>Все файлы (*)</translation>
    </message>
    <message>
        <source>Diagnostics saved to %1</source>
        <translation>Диагностика сохранена в %1</translation>
    </message>
    <message>
        <source>Splash screen uploaded</source>
        <translation>Заставка загружена в панель приборов</translation>
    </message>
    <message>
        <source>The import writes the whole configuration memory:</source>
        <translation>Импорт записывает всю память конфигурации:</translation>
    </message>
    <message>
        <source>Back up the dashboard first</source>
        <translation>Сначала сделать резервную копию панели</translation>
    </message>
    <message>
        <source>About %1 with this adapter</source>
        <translation>С этим адаптером — около %1</translation>
    </message>
    <message>
        <source>The time it takes is not known yet</source>
        <translation>Сколько это займёт, пока неизвестно</translation>
    </message>
</context>
</TS>
